// A workspace started in a fresh program folder of its own, with the scripted
// Ui, so that every test has its own settings and stack file.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "platform/script/script_ui.h"
#include "workspace.h"

namespace halvex::testing {

// A new empty folder under the system's temp folder, removed with the object.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::string& path() const { return path_; }  // with a trailing '/'

private:
    std::string path_;
};

// Writes `bytes` to path, creating or replacing the file.
void writeFile(const std::string& path, const std::string& bytes);
// A raw 512 x 512 slice with every pixel `value`, or value + column when ramp.
std::string rawSlice(int16_t value, bool ramp = false);

class WorkspaceTest : public ::testing::Test {
protected:
    WorkspaceTest();
    // Starts the main window; the program folder gets the shipped settings
    // files it does not hold yet.
    void start(bool withSettings = true);
    // Appends `count` slices of constant value through the stack file.
    void appendSlices(int count, int16_t firstValue, int16_t ctOffset = -1024);
    std::string output() const { return echo.str(); }

    TempFolder folder;
    std::ostringstream echo;
    ScriptUi ui{echo};
    Workspace ws{ui};
    CTDSPF& win = ws.main;
    ImageStore& store = ws.store;
};

}  // namespace halvex::testing
