// The workspace of the targets that run the program's commands, made by
// libFuzzer's initialisation hook before the first input.
#include "fuzz_file.h"

namespace {
fuzzing::StartedWorkspace* started = nullptr;
}  // namespace

fuzzing::StartedWorkspace& fuzzing::startedWorkspace() { return *started; }

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    started = new fuzzing::StartedWorkspace;
    return 0;
}
