#include <gtest/gtest.h>

#include <sstream>

#include "platform/lumvek_binding.h"
#include "platform/script/script_ui.h"
#include "platform/window_logic.h"

namespace halvex {
namespace {

TEST(LumvekBinding, BindsExportsByNameFromTheLibraryBesideTheProgram) {
    const uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(LUMVEK(CRC16)(digits, 9), 0xBB3D);
    // The second call finds the same bound address.
    EXPECT_EQ(resolveLumvekExport("CRC16"), resolveLumvekExport("CRC16"));
}

TEST(LumvekBinding, AMissingExportEndsTheCommandWithTheLoadersMessage) {
    try {
        resolveLumvekExport("lumvek_no_such_export");
        FAIL() << "a missing export must not bind";
    } catch (const LumvekLoadError& e) {
        EXPECT_NE(std::string(e.what()).find("lumvek_no_such_export"), std::string::npos);
    }
    std::ostringstream echo;
    ScriptUi ui(echo);
    CommandGuard guard(ui);
    bool after = false;
    guard.run([&] {
        resolveLumvekExport("lumvek_no_such_export");
        after = true;
    });
    EXPECT_FALSE(after);
    EXPECT_NE(echo.str().find("message \""), std::string::npos);
    EXPECT_NE(echo.str().find("lumvek_no_such_export"), std::string::npos);
    // The program goes on: the next command runs.
    EXPECT_TRUE(guard.run([&] { after = true; }));
    EXPECT_TRUE(after);
}

TEST(CommandGuard, RefusesASecondCommandWhileOneRuns) {
    std::ostringstream echo;
    ScriptUi ui(echo);
    CommandGuard guard(ui);
    bool inner = false, refused = false;
    guard.run([&] { refused = !guard.run([&] { inner = true; }); });
    EXPECT_TRUE(refused);
    EXPECT_FALSE(inner);
}

}  // namespace
}  // namespace halvex
