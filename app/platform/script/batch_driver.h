// halvex --batch: runs a script of user actions against the window logic,
// headless, and echoes what a user would see.
#pragma once

#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/script/script_ui.h"
#include "workspace.h"

namespace halvex {

// Splits a script line into words: blanks separate, double quotes group, and
// inside quotes \" and \\ escape. Empty result for blank and comment lines;
// nothing when the quotes don't close.
std::optional<std::vector<std::string>> splitScriptLine(const std::string& line);

class BatchDriver {
public:
    BatchDriver(Workspace& workspace, ScriptUi& ui, std::ostream& out, std::ostream& err)
        : workspace_(workspace), ui_(ui), out_(out), err_(err) {}

    // 0 when the script ran to its end; 2 at the first line that can't be
    // parsed or names a window or control that doesn't exist.
    int run(std::istream& script);

private:
    // Carries out one line; an error text when it can't.
    std::string execute(const std::vector<std::string>& words);
    std::string click(const std::vector<std::string>& words);
    std::string set(const std::vector<std::string>& words);
    std::string mouse(const std::vector<std::string>& words);
    std::string print(const std::string& what);
    std::string save(const std::string& what, const std::string& path);
    void printSlices();
    void printControls();

    Workspace& workspace_;
    ScriptUi& ui_;
    std::ostream& out_;
    std::ostream& err_;
    std::string windowName_ = "CTDSPF";
};

}  // namespace halvex
