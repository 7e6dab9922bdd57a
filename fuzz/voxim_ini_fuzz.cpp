// "VOXIM.INI" (the window presets) read at start-up, from the input.
#include "fuzz_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::writeInput(data, size, "VOXIM.INI");
    fuzzing::startedWorkspace().echo.str("");
    fuzzing::startedWorkspace().ws.main.LOADINI();
    for (const halvex::WindowPreset& p : fuzzing::startedWorkspace().ws.main.presets())
        if (p.width < 0) __builtin_trap();  // only widths above 0 replace the defaults
    return 0;
}
