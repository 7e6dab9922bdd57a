#include "workspace/program_folder.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace halvex {

namespace fs = std::filesystem;

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
