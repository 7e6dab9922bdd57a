// Saving as DICOM with the input as the slice's own file (the "info" file
// whose elements the saved files copy), then reading every saved file back.
// Whatever the info file holds, a saved file must read back as a slice.
#include <filesystem>

#include "fuzz_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::StartedWorkspace& s = fuzzing::startedWorkspace();
    namespace fs = std::filesystem;
    const std::string out = fuzzing::scratchFolder() + "saved/";
    fs::remove_all(out);
    fs::create_directories(out);
    s.echo.str("");
    const std::string info = fuzzing::writeInput(data, size, "info.dcm");
    s.ws.guard.run([&] {
        s.ui.queueAnswer("0");
        s.ws.main.CLRIMG.click();
        s.ws.main.dropOnView({info});
    });
    if (s.ws.store.sliceCount != 1) return 0;
    s.ui.queueFolder(out);
    for (const char* a : {"1", "1", "1", "7", "20240131.093000"}) s.ui.queueAnswer(a);
    s.ws.guard.run([&] { s.ws.main.DICOMSVBTN.click(); });
    halvex::DICOMM reader;
    for (const auto& e : fs::directory_iterator(out)) {
        const halvex::DicomHeader& h = reader.DCMHDRREAD(e.path().string(), halvex::SliceGeometry{});
        // What the writer wrote must be a readable slice.
        if (!halvex::VrModes::littleEndian(h.VrMode) || h.PixelOffset <= 0) __builtin_trap();
    }
    return 0;
}
