// Where the program keeps its settings, stack file and decoded slices: its
// own folder in a build, a per-user data folder for an installed copy, or
// the folder asked for.
#pragma once

#include <string>

namespace halvex {

// The folder the program keeps its settings and stack file in, and what the
// user should be told about the choice (empty when nothing went wrong).
struct ProgramFolder {
    std::string path;  // ends with '/'
    std::string note;
};

// The folder asked for with --app-folder when it is a folder the program can
// write in; else, without a request, the program's own folder when it holds
// the shipped settings and can be written (a build); else a per-user data
// folder ($XDG_DATA_HOME/halvex or ~/.local/share/halvex) seeded with the
// shipped settings (beside the executable, or in the install's data folder).
// A request that can't be used, or no usable folder at all, is explained in
// the note.
ProgramFolder resolveProgramFolder(const std::string& executableFolder, const std::string& requested = {});

}  // namespace halvex
