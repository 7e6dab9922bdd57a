#include "workspace.h"

#include <filesystem>

#include "platform/files.h"
#include "platform/number_text.h"

namespace halvex {

namespace fs = std::filesystem;

Workspace::Workspace(Ui& ui) : ui(ui), guard(ui), main(store, dicom, ui, guard), measurement(store, ui, guard),
      noiseReduction(main, store, ui), dicomWriter(store, dicom, ui), evaluation(store, measurement, ui),
      dual(store, ui, guard) {
    main.SHOWMW.onClick = [this] { measurement.show(); };
    main.loadParameters = [this] { noiseReduction.PARAMIO(0); };
    main.PARAMLD.onClick = [this] { noiseReduction.PARAMIO(1); };
    main.PARAMSV.onClick = [this] { noiseReduction.PARAMIO(2); };
    main.EASYBTN.onClick = [this] { noiseReduction.EASYBTN_Click(); };
    main.PROC2.onClick = [this] { noiseReduction.NR3D(); };
    main.TEST1BTN.onClick = [this] { noiseReduction.NRTEST1(); };
    main.TEST2BTN.onClick = [this] { noiseReduction.NRTEST2(); };
    main.PROC1.onClick = [this] { noiseReduction.PROC1_Click(); };
    // Stop ends whichever long command runs.
    main.STOPBTN.onClick = [this] {
        noiseReduction.requestStop();
        evaluation.requestStop();
    };
    measurement.EVALUATE.onClick = [this] { evaluation.run({main.STTX.text(), main.ENTX.text()}); };
    main.EVALBTN.onClick = [this] {
        measurement.show();
        evaluation.run({main.STTX.text(), main.ENTX.text()});
    };
    measurement.roiMoved = [this] { main.SHDRAW(0); };
    measurement.imageChanged = [this] { main.WWDSP(); };
    measurement.rangeDefaults = [this] { return std::pair{main.STTX.text(), main.ENTX.text()}; };
    main.DUALBTN.onClick = [this] { dual.show(textToInt16(main.WWTX.text()), textToInt16(main.WCTX.text())); };
    main.negativeChanged = [this](int16_t negative) { dual.NEGALUT(negative); };
    main.DICOMSVBTN.onClick = [this] {
        dicomWriter.DICOMSVBTN_Click(
            {main.STTX.text(), main.ENTX.text(), [this](const std::string& text) { main.setCaption(text); }});
    };
}

bool Workspace::start(const std::string& programFolder) {
    bool started = false;
    guard.run([&] {
        main.Form_Load(programFolder);
        started = true;
    });
    return started;
}

void Workspace::stop() {
    guard.run([&] {
        // Closing the main window closes the measurement window with it.
        if (measurement.loaded()) measurement.CLRSCREEN.click();
        if (dual.loaded()) dual.Form_Unload();
        main.Form_Unload();
    });
}

WindowLogic* Workspace::window(const std::string& name) {
    if (name == main.name()) return &main;
    if (name == measurement.name() && measurement.loaded()) return &measurement;
    if (name == dual.name() && dual.loaded()) return &dual;
    return nullptr;
}

void Workspace::open(const std::vector<std::string>& paths) {
    std::vector<std::string> files;
    for (const std::string& p : paths) {
        std::error_code ec;
        if (fs::is_directory(p, ec)) {
            const std::string folder = p.back() == '/' ? p : p + "/";
            for (const std::string& name : folderFiles(folder)) files.push_back(folder + name);
        } else {
            files.push_back(p);
        }
    }
    if (!files.empty()) guard.run([&] { main.dropOnView(files); });
}

}  // namespace halvex
