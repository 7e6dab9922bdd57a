// The automation driver's line parser: words, quoted strings, numbers.
#include <sstream>
#include <string>

#include "platform/script/batch_driver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::istringstream script(std::string(reinterpret_cast<const char*>(data), size));
    for (std::string line; std::getline(script, line);) halvex::splitScriptLine(line);
    return 0;
}
