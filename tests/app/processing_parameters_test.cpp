// Parameter sets in "PARAM.TXT", their formats, and "Finish param".
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app_fixture.h"
#include "noise_reduction/processing_parameters.h"

namespace halvex::testing {
namespace {

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(ProcessingParameters, LineFormatsAndSplitting) {
    ProcessingParameters p;
    EXPECT_EQ(formatParameterLine(p), "2 6 70 150 150 100 0.30 1 1 2.5 0.7 0.3 1.5");
    p.edgeLow = 7.4f;
    p.blendRatio = 0.333f;
    p.type1Enhance = 2.25f;
    p.iterations = 3;
    EXPECT_EQ(formatParameterLine(p), "3 6 07 150 150 100 0.33 1 1 2.3 0.7 0.3 1.5");

    const auto fields = splitParameterLine("3 6 08 150 150 100 0.33 0 2 2.3 0.7 0.3 1.5");
    ASSERT_TRUE(fields);
    const ProcessingParameters back = parseParameters(*fields);
    EXPECT_EQ(back.edgeLow, 8.0f);
    EXPECT_EQ(back.zReposition, 0);
    EXPECT_EQ(back.preType, 2);
    EXPECT_FALSE(splitParameterLine("2 6 70"));  // too few fields

    // "END" ends the sets; a file without it gives at most 15 lines.
    EXPECT_EQ(parameterLines("a\r\nb\r\nEND\r\nc\r\n"), (std::vector<std::string>{"a", "b"}));
    std::string many;
    for (int i = 0; i < 40; ++i) many += "x\n";
    EXPECT_EQ(parameterLines(many).size(), 15u);
    EXPECT_EQ(parameterFileText({"a", "b"}), "a\r\nb\r\nEND\r\n");
}

TEST(ProcessingParameters, LimitsAndProblems) {
    ProcessingParameters p;
    p.iterations = 5;
    p.windowHalfWidth = 9;
    p.type1Enhance = 4;
    p.type2Low = -1;
    const ProcessingParameters l = p.limited();
    EXPECT_EQ(l.iterations, 3);
    EXPECT_EQ(l.windowHalfWidth, 7);
    EXPECT_EQ(l.type1Enhance, 3.5f);
    EXPECT_EQ(l.type2Low, 0.0f);
    EXPECT_TRUE(parameterProblem(ProcessingParameters{}).empty());
    const std::pair<std::function<void(ProcessingParameters&)>, const char*> bad[] = {
        {[](ProcessingParameters& q) { q.windowHalfWidth = 0; }, "wn"},
        {[](ProcessingParameters& q) { q.rangeSigma2 = 0; }, "CT1 CT2"},
        {[](ProcessingParameters& q) { q.edgeHigh = q.edgeLow; }, "Edge2"},
        {[](ProcessingParameters& q) { q.zReposition = 2; }, "z reposi"},
        {[](ProcessingParameters& q) { q.blendRatio = 0.6f; }, "Rorg"},
    };
    for (const auto& [change, box] : bad) {
        ProcessingParameters q;
        change(q);
        EXPECT_NE(parameterProblem(q).find(box), std::string::npos) << box;
    }
}

class ParameterSets : public WorkspaceTest {
protected:
    std::string file() const { return folder.path() + "PARAM.TXT"; }
};

TEST_F(ParameterSets, StartUpLoadsSetOneOrKeepsTheDesignValues) {
    writeFile(folder.path() + "PARAM.TXT", "3 5 60 120 140 90 0.25 0 2 3.0 0.6 0.4 2.0\r\nEND\r\n");
    start();
    EXPECT_EQ(win.RPTTX.text(), "3");
    EXPECT_EQ(win.EDGECT1TX.text(), "60");
    EXPECT_EQ(win.ZREINTPCK.value(), 0);
    EXPECT_EQ(win.TYP2ZENHTX.text(), "2.0");
}

TEST_F(ParameterSets, MissingFileKeepsTheDesignValues) {
    start();  // the fixture copies no PARAM.TXT when it is not asked to
    std::filesystem::remove(file());
    ui.queueAnswer("1");
    win.PARAMLD.click();
    EXPECT_NE(output().find("message \"param file error!\""), std::string::npos);
    EXPECT_EQ(win.RPTTX.text(), "2");
    EXPECT_EQ(win.BLCT2TX.text(), "100");
    EXPECT_EQ(win.ZREINTPCK.value(), 1);
}

TEST_F(ParameterSets, SaveRewritesOnlyTheChosenSetAndRefusesBadNumbers) {
    start();
    writeFile(file(), "1 1 10 20 30 40 0.10 0 0 1.0 0.1 0.1 1.0\r\n"
                      "2 2 20 30 40 50 0.20 1 1 2.0 0.2 0.2 2.0\r\n"
                      "3 3 30 40 50 60 0.30 0 2 3.0 0.3 0.3 3.0\r\nEND\r\n");
    win.EDGECT1TX.setText("7.4");
    win.RORGTX.setText("0.333");
    ui.queueAnswer("2");
    win.PARAMSV.click();
    EXPECT_EQ(readText(file()), "1 1 10 20 30 40 0.10 0 0 1.0 0.1 0.1 1.0\r\n"
                                "2 6 07 150 150 100 0.33 1 1 2.5 0.7 0.3 1.5\r\n"
                                "3 3 30 40 50 60 0.30 0 2 3.0 0.3 0.3 3.0\r\nEND\r\n");
    ui.queueAnswer("3");
    win.PARAMLD.click();
    EXPECT_EQ(win.PRETYPTX.text(), "2");
    EXPECT_EQ(win.ZREINTPCK.value(), 0);

    // A set past the file's end is stored there, the sets between get the design values.
    ui.queueAnswer("5");
    win.PARAMSV.click();
    EXPECT_EQ(parameterLines(readText(file())).size(), 5u);
    EXPECT_EQ(parameterLines(readText(file()))[3], "2 6 70 150 150 100 0.30 1 1 2.5 0.7 0.3 1.5");

    for (const char* number : {"0", "11", "12", "-1", ""}) {
        const std::string before = readText(file());
        echo.str("");
        ui.queueAnswer(number);
        win.PARAMSV.click();
        EXPECT_NE(output().find("message \"Wrong number\""), std::string::npos) << number;
        EXPECT_EQ(readText(file()), before);
    }
}

TEST_F(ParameterSets, FinishParamDerivesTheThresholds) {
    start();
    struct Case {
        const char* maximum;
        const char* low;
        const char* high;
    };
    for (const Case c : {Case{"87", "90", "140"}, Case{"75", "80", "120"}, Case{"85", "80", "120"}}) {
        for (const char* a : {c.maximum, "0.4", "0"}) ui.queueAnswer(a);
        win.EASYBTN.click();
        EXPECT_EQ(win.EDGECT1TX.text(), c.low) << c.maximum;
        EXPECT_EQ(win.EDGECT2TX.text(), c.high) << c.maximum;
    }
    EXPECT_EQ(win.RORGTX.text(), "0.40");
    EXPECT_EQ(win.ZREINTPCK.value(), 0);
    EXPECT_NE(output().find("message \"If need, save parameters by Save button.\""), std::string::npos);

    // 9999, or a cancel at any prompt, changes nothing.
    for (const std::vector<std::string>& answers :
         {std::vector<std::string>{"9999"}, {""}, {"60", ""}, {"60", "0.3", ""}}) {
        for (const std::string& a : answers) ui.queueAnswer(a);
        win.EASYBTN.click();
        EXPECT_EQ(win.EDGECT1TX.text(), "80");
        EXPECT_EQ(win.RORGTX.text(), "0.40");
    }
}

}  // namespace
}  // namespace halvex::testing
