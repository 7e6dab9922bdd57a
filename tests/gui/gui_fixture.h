// The main window on Qt's offscreen platform, shown and started in a fresh
// program folder that holds the shipped settings files.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>

#include "../app/app_fixture.h"
#include "platform/qt/qt_ui.h"
#include "workspace/qt/main_window.h"

namespace halvex::testing {

class GuiTest : public ::testing::Test {
protected:
    GuiTest() {
        for (const char* name : {"VOXIM.INI", "NFD.BMP", "PARAM.TXT"})
            std::filesystem::copy_file(std::string(HALVEX_SOURCE_DIR) + "/resources/" + name, folder.path() + name);
        main.show();
        EXPECT_TRUE(workspace.start(folder.path()));
    }

    TempFolder folder;
    QtUi ui;
    Workspace workspace{ui};
    MainWindow main{workspace.main, workspace.guard, ui, [this] { workspace.stop(); }};
};

}  // namespace halvex::testing
