#include "workspace/workspace.h"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

#include "platform/files.h"
#include "platform/number_text.h"

namespace halvex {

namespace fs = std::filesystem;

Workspace::Workspace(Ui& ui) : ui(ui), guard(ui), main(store, dicom, ui, guard), measurement(store, ui, guard),
      noiseReduction(main, store, ui), dicomWriter(store, dicom, ui), dual(store, ui, guard) {
    main.SHOWMW.onClick = [this] { measurement.show(); };
    main.loadParameters = [this] { noiseReduction.PARAMIO(0); };
    main.PARAMLD.onClick = [this] { noiseReduction.PARAMIO(1); };
    main.PARAMSV.onClick = [this] { noiseReduction.PARAMIO(2); };
    main.EASYBTN.onClick = [this] { noiseReduction.EASYBTN_Click(); };
    main.PROC2.onClick = [this] { noiseReduction.NR3D(); };
    main.TEST1BTN.onClick = [this] { noiseReduction.NRTEST1(); };
    main.TEST2BTN.onClick = [this] { noiseReduction.NRTEST2(); };
    main.PROC1.onClick = [this] { noiseReduction.PROC1_Click(); };
    main.STOPBTN.onClick = [this] { noiseReduction.requestStop(); };
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

namespace {

std::string withSlash(const std::string& folder) {
    return folder.empty() || folder.back() == '/' ? folder : folder + "/";
}

// A folder to keep the settings and the stack file in must exist and take
// new files.
bool usableFolder(const std::string& folder) {
    std::error_code ec;
    return !folder.empty() && fs::is_directory(folder, ec) && access(folder.c_str(), R_OK | W_OK | X_OK) == 0;
}

constexpr const char* kShippedFiles[] = {"VOXIM.INI", "NFD.BMP", "PARAM.TXT"};

// Where the shipped settings are: beside the executable in a build, in the
// install's data folder for an installed copy.
std::string shippedSettingsFolder(const std::string& own) {
    std::error_code ec;
    if (fs::exists(own + kShippedFiles[0], ec)) return own;
    return own + "../" HALVEX_INSTALL_DATADIR "/";
}

// $XDG_DATA_HOME/halvex/ (or ~/.local/share/halvex/), created and seeded with
// the settings files found in `seedFolder`; empty when there is no such
// folder or it can't be made.
std::string userDataFolder(const std::string& seedFolder) {
    std::string base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.local/share";
    else
        return {};
    const std::string data = withSlash(base) + "halvex/";
    std::error_code ec;
    fs::create_directories(data, ec);
    if (!usableFolder(data)) return {};
    for (const char* seed : kShippedFiles) {
        if (!fs::exists(data + seed, ec) && fs::exists(seedFolder + seed, ec))
            fs::copy_file(seedFolder + seed, data + seed, ec);
    }
    return data;
}

}  // namespace

ProgramFolder resolveProgramFolder(const std::string& executableFolder, const std::string& requested) {
    const std::string own = withSlash(executableFolder);
    std::string note;
    if (!requested.empty()) {
        if (usableFolder(requested)) return {withSlash(requested), {}};
        note = "The program folder " + requested + " is missing or can't be written";
    } else if (usableFolder(own) && shippedSettingsFolder(own) == own) {
        // A build: the program keeps its files beside itself. An installed
        // copy never writes into the folder of its executable.
        return {own, {}};
    }
    if (const std::string data = userDataFolder(shippedSettingsFolder(own)); !data.empty())
        return {data, note.empty() ? std::string{} : note + ": using " + data + " instead."};
    // Nowhere to write: run from the shipped settings, which can at least be
    // read, and say that nothing will be kept.
    const std::string shipped = shippedSettingsFolder(own);
    return {shipped, (note.empty() ? "" : note + ", and ") +
                         "no folder under $XDG_DATA_HOME or ~/.local/share can be made: the settings are read from " +
                         shipped + ", but neither settings nor the slices commands make can be kept."};
}

}  // namespace halvex
