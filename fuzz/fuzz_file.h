// The fuzz targets hand their input to readers that take a path: each input
// is written to a file of this process's own, in a folder of its own.
#pragma once

#include <unistd.h>

#include <sstream>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/script/script_ui.h"
#include "workspace.h"

namespace fuzzing {

// A folder for this process, made on first use (with a trailing '/').
inline const std::string& scratchFolder() {
    static const std::string folder = [] {
        const auto dir = std::filesystem::temp_directory_path() / ("halvex-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        return dir.string() + "/";
    }();
    return folder;
}

// Writes the input to `name` in the scratch folder; returns its path.
inline std::string writeInput(const uint8_t* data, size_t size, const std::string& name) {
    const std::string path = scratchFolder() + name;
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data),
                                                                  static_cast<std::streamsize>(size));
    return path;
}

// A started workspace in the scratch folder, with the scripted Ui, for the
// targets that need one. started_workspace.cpp makes it before the first
// input (so that its memory is not taken for a leak).
struct StartedWorkspace {
    std::ostringstream echo;
    halvex::ScriptUi ui{echo};
    halvex::Workspace ws{ui};
    StartedWorkspace() { ws.start(scratchFolder()); }
};
StartedWorkspace& startedWorkspace();

}  // namespace fuzzing
