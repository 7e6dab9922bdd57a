// The automation driver: its line syntax, its echo and its exit codes.
#include <gtest/gtest.h>

#include <fstream>

#include "app_fixture.h"
#include "platform/script/batch_driver.h"

namespace halvex::testing {
namespace {

TEST(ScriptLine, SplitsWordsAndQuotedArguments) {
    auto w = splitScriptLine("  answer \"a \\\"b\\\" \\\\c\" x");
    ASSERT_TRUE(w);
    EXPECT_EQ(*w, (std::vector<std::string>{"answer", "a \"b\" \\c", "x"}));
    EXPECT_EQ(splitScriptLine("answer \"\"")->at(1), "");
    EXPECT_TRUE(splitScriptLine("   # a comment")->empty());
    EXPECT_TRUE(splitScriptLine("")->empty());
    EXPECT_FALSE(splitScriptLine("answer \"open"));
}

class DriverTest : public WorkspaceTest {
protected:
    int run(const std::string& script) {
        std::istringstream in(script);
        BatchDriver driver(ws, ui, echo, errors);
        return driver.run(in);
    }
    std::ostringstream errors;
};

TEST_F(DriverTest, RunsToTheEndAndEchoesPromptsAndCaptions) {
    start();
    EXPECT_EQ(run("answer 600\nclick WWSET\nprint controls\nprint clipboard\n"), 0);
    const std::string out = output();
    EXPECT_NE(out.find("prompt \" WW = \" default \" 500\" -> \"600\"\n"), std::string::npos);
    EXPECT_NE(out.find("prompt \" WC = \" default \" 30\" -> \" 30\" (no reply queued)\n"), std::string::npos);
    EXPECT_NE(out.find("control WWTX \"600\"\n"), std::string::npos);
    EXPECT_NE(out.find("clipboard| (bitmap 512x512)\nclipboard end\n"), std::string::npos);
}

TEST_F(DriverTest, StopsWithTwoAtUnknownControlsAndBadLines) {
    start();
    EXPECT_EQ(run("print caption\nclick NOSUCH\nprint caption\n"), 2);
    EXPECT_EQ(errors.str(), "line 2: unknown control NOSUCH\n");
    errors.str("");
    EXPECT_EQ(run("set HS1 abc\n"), 2);
    EXPECT_EQ(run("answer \"unclosed\n"), 2);
    EXPECT_EQ(run("window CTPSFF\n"), 2);
    EXPECT_EQ(run("frobnicate\n"), 2);
    EXPECT_EQ(run("click ROIS\n"), 2);  // an option array needs its index
}

TEST_F(DriverTest, SavesTheViewAsPng) {
    start();
    const std::string png = folder.path() + "view.png";
    EXPECT_EQ(run("click ROIS 1\nsave view \"" + png + "\"\n"), 0);
    std::ifstream in(png, std::ios::binary);
    char signature[8] = {};
    in.read(signature, 8);
    EXPECT_EQ(std::string(signature + 1, 3), "PNG");
}

}  // namespace
}  // namespace halvex::testing
