// "PARAM.TXT" (the 3D-MORV parameter sets) as "Load" reads it: its lines,
// each line's fields, the values a run takes from them and their check.
#include <string>

#include "noise_reduction/processing_parameters.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const std::string& line : halvex::parameterLines(text)) {
        const auto fields = halvex::splitParameterLine(line);
        if (!fields) continue;
        const halvex::ProcessingParameters p = halvex::parseParameters(*fields).limited();
        halvex::parameterProblem(p);
        // What "Save" writes reads back to a line of 13 fields.
        if (!halvex::splitParameterLine(halvex::formatParameterLine(p))) __builtin_trap();
    }
    return 0;
}
