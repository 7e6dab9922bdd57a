// The measurement window's frame and the edge flow around the numbers: the
// settings, slot selections and exports, the state rules, the refusals.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>

#include "measurement/curve_math.h"
#include "measurement_fixture.h"
#include "platform/number_text.h"

namespace halvex::testing {
namespace {

size_t countOf(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2) out.push_back(text.substr(start, at - start));
    EXPECT_EQ(start, text.size()) << "every line ends with CR LF";
    return out;
}

TEST(NumberText, TrimmedDecimalsOfTheMtfExport) {
    const std::pair<double, const char*> cases[] = {{1.0, "1"},     {0.5, ".5"},    {0.1234, ".123"}, {-0.25, "-.25"},
                                                    {0.0004, "0"},  {1.05, "1.05"}, {0.9996, "1"},    {-0.0004, "0"},
                                                    {0.0125, ".013"}};
    for (auto [v, text] : cases) EXPECT_EQ(formatTrimmed(v, 3), text) << v;
    EXPECT_EQ(generalSingle(1.5f), "1.5");
    EXPECT_EQ(generalSingle(0.05f), "0.05");
    EXPECT_EQ(generalSingle(5.0f), "5");
}

TEST(CurveStore, SelectionsAndRefusals) {
    const std::pair<const char*, std::vector<int>> accepted[] = {
        {"3", {3}}, {"2-4", {2, 3, 4}}, {"2,4,5", {2, 4, 5}}, {" 7 ", {7}}, {"1-7", {1, 2, 3, 4, 5, 6, 7}}};
    for (const auto& [text, slots] : accepted) EXPECT_EQ(parseSlotSelection(text), slots) << text;
    for (const char* refused : {"0", "8", "2-9", "-3", "4-2", "2,x", "1-2-3", "", "2,,3", "100", "2.5"})
        EXPECT_FALSE(parseSlotSelection(refused)) << refused;
}

TEST(CurveMath, SplineInterpolatesAndEndsAtItsLastPoint) {
    std::vector<float> x, line, wave;
    for (int i = 0; i <= 20; ++i) {
        x.push_back(i * 0.1f);
        line.push_back(2.0f - 0.5f * x.back());
        wave.push_back(std::sin(x.back()));
    }
    SPLINE spline;
    ASSERT_TRUE(spline.build(x.data(), line.data(), 21));
    for (double f : {0.0, 0.05, 1.234, 2.0}) EXPECT_NEAR(spline.evaluate(f), 2.0 - 0.5 * f, 1e-6);
    EXPECT_FALSE(spline.covers(2.0001));
    EXPECT_FALSE(spline.covers(-0.0001));
    ASSERT_TRUE(spline.build(x.data(), wave.data(), 21));
    for (double f = 0.2; f < 1.8; f += 0.013) EXPECT_NEAR(spline.evaluate(f), std::sin(f), 1e-4) << f;  // natural ends bend a little
    // Two points make a straight line; abscissae that don't increase make no spline.
    ASSERT_TRUE(spline.build(x.data(), wave.data(), 2));
    EXPECT_NEAR(spline.evaluate(0.05), wave[1] / 2, 1e-7);
    const float flat[] = {1, 1, 2};
    EXPECT_FALSE(spline.build(flat, flat, 3));
}

TEST(CurveMath, LeastSquaresRecoversAPolynomialOverLongRecords) {
    // A cubic over 256 samples: single-precision normal equations in powers
    // of 0 .. 255 lose it entirely.
    const int n = 256;
    std::vector<float> y(n);
    for (int l = 0; l < n; ++l) y[size_t(l)] = static_cast<float>(3.0 - 0.02 * l + 4e-4 * l * l - 1e-6 * l * l * l);
    const std::vector<double> c = LESQ(3, y.data(), n);
    ASSERT_EQ(c.size(), 4u);
    EXPECT_NEAR(c[0], 3.0, 1e-4);
    EXPECT_NEAR(c[1], -0.02, 1e-6);
    EXPECT_NEAR(c[2], 4e-4, 1e-8);
    EXPECT_NEAR(c[3], -1e-6, 1e-10);
}

TEST(CurveMath, HannWindowWeightsAndCopy) {
    const int n = 64;
    std::vector<float> work(size_t(n) * n, 100.0f);
    std::vector<int16_t> reference(kSlicePixels, -1);
    HANNING(work.data(), n, reference.data());
    const float gain = 1.633f * 1.633f;
    EXPECT_FLOAT_EQ(work[size_t(n / 2) * n + n / 2], 100.0f * gain);     // centre
    EXPECT_FLOAT_EQ(work[0], 0.0f);                                      // corner, r > N/2
    EXPECT_NEAR(work[size_t(n / 2) * n + n / 2 + 16], 100.0f * 0.5f * gain, 1e-3);  // r = N/4
    EXPECT_EQ(reference[size_t(n / 2) * 512 + n / 2], 267);              // 266.67 rounded
    EXPECT_EQ(reference[size_t(n) * 512], -1);                           // outside the window: untouched
}

TEST(EdgeMtf, ExportStopsAtTheLastComputedBin) {
    std::vector<float> mtf(129);
    for (size_t k = 0; k < mtf.size(); ++k) mtf[k] = 1.0f - static_cast<float>(k) / 128.0f;
    // 128 bins of 0.1 cycles/mm at 0.05 spacing: round(12.8 / 0.05 + 1) = 257 points.
    CurvePoints p = resampleMtf(mtf, 0.1f, 0.05f);
    ASSERT_EQ(p.value.size(), 257u);
    EXPECT_FLOAT_EQ(p.frequency.back(), 12.8f);
    EXPECT_NEAR(p.value.back(), 0.0f, 1e-6);
    EXPECT_NEAR(p.value[1], 1.0f - 0.5f / 128.0f, 1e-6);  // halfway between bins 0 and 1
    // FOV 320 mm: step 6 / 320, 49 points at the default interval.
    EXPECT_EQ(resampleMtf(mtf, 6.0f / 320.0f, 0.05f).value.size(), 49u);
    // Never more than 511 points.
    EXPECT_EQ(resampleMtf(mtf, 0.1f, 0.01f).value.size(), 511u);
}

class MeasurementWindow : public MeasurementTest {
protected:
    // A vertical edge from 0 to `height` HU at column 256 with a short ramp.
    void showVerticalEdge(int height) {
        showConstant(0);
        for (int row = 0; row < kSide; ++row)
            for (int col = 0; col < kSide; ++col) {
                const double t = std::clamp((col - 254.0) / 4.0, 0.0, 1.0);
                store.workImage[size_t(row) * kSide + col] = static_cast<int16_t>(1024 + std::lround(height * t));
            }
    }

    // Linear edge to LSF on the vertical edge of a 64-pixel ROI.
    void edgeToLsf(int height) {
        showVerticalEdge(height);
        setRoi(224, 224, 64, 64);
        click(mw.EDGE);
        click(mw.EDGEOK);
    }

    // A full linear-edge MTF of the phantom's block stored into `slot`.
    void measureBlock(double fov, const std::string& slot) {
        showPhantom({phantom::standardPhantom(0, 0, -70), fov, 0.5});
        const int column = static_cast<int>(std::lround(phantomPixel(68.0, fov)));
        setRoi(column - 32, 236, 64, 40);
        click(mw.EDGE);
        click(mw.AUTOEDGE);
        click(mw.EDGEOK);
        click(mw.BASESET);
        click(mw.MTFCLC, {slot});
    }
};

TEST_F(MeasurementWindow, LoadsWithItsCaptionButtonsAndMenus) {
    EXPECT_EQ(mw.caption(), "TessamirBasichalvex " HALVEX_VERSION);
    EXPECT_EQ(store.fftSize, 256);
    EXPECT_EQ(store.newRoi, 1);
    EXPECT_FALSE(mw.CENADJ.visibleAt(0));
    EXPECT_FALSE(mw.CENADJ.visibleAt(1));
    EXPECT_FALSE(mw.FINESTP.visible());
    EXPECT_FALSE(mw.Line1.visible());
    EXPECT_FALSE(mw.CTCONV.enabled);
    EXPECT_TRUE(mw.REDGE.enabled && mw.EDGEOK.enabled && mw.CLRSCREEN.enabled && mw.SETNPS.enabled);
    click(mw.CLRSCREEN);
    EXPECT_FALSE(mw.loaded());
    EXPECT_EQ(ws.window("CTPSFF"), nullptr);
}

TEST_F(MeasurementWindow, SettingsAreClampedAndNoAsksAgain) {
    struct Case {
        const char *max, *interval;
        float expectedMax, expectedInterval;
    };
    for (const Case c : {Case{"10", "0.5", 5.0f, 0.1f}, Case{"0.1", "0.001", 0.2f, 0.01f}, Case{"2", "0.02", 2.0f, 0.02f},
                         Case{"", "x", 0.2f, 0.01f}}) {
        ui.queueReply(Reply::Yes);
        click(mw.SETTING, {c.max, c.interval});
        EXPECT_FLOAT_EQ(mw.frequencyMaximum(), c.expectedMax) << c.max;
        EXPECT_FLOAT_EQ(mw.frequencyInterval(), c.expectedInterval) << c.interval;
    }
    echo.str("");
    ui.queueReply(Reply::No);
    ui.queueReply(Reply::Cancel);
    click(mw.SETNPS, {"10", "0.5", "1.5", "0.05"});
    EXPECT_EQ(countOf(output(), "prompt \"Freq max = \""), 2u);
    EXPECT_NE(output().find("question \"Freq max=1.5 Freq interval=0.05 NPSfreq bins=48\" -> cancel"), std::string::npos);
    EXPECT_FLOAT_EQ(mw.frequencyMaximum(), 1.5f);
}

TEST_F(MeasurementWindow, EdgeSetUpShowsTheArrowsItsEdgeUses) {
    showVerticalEdge(500);
    setRoi(224, 224, 64, 64);
    click(mw.REDGE);
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(mw.CENADJ.visibleAt(i)) << i;
    EXPECT_TRUE(mw.FINESTP.visible());
    click(mw.EDGE);
    EXPECT_TRUE(mw.CENADJ.visibleAt(0) && mw.CENADJ.visibleAt(1) && mw.FINESTP.visible());
    EXPECT_FALSE(mw.CENADJ.visibleAt(2) || mw.CENADJ.visibleAt(3));
}

TEST_F(MeasurementWindow, ArrowStepsAndTheRoiFollowingTheCentre) {
    showVerticalEdge(500);
    setRoi(200, 210, 50, 60);
    click(mw.EDGE);
    mw.CENADJ.click(1);
    EXPECT_FLOAT_EQ(mw.slope(), 0.01f);
    mw.FINESTP.setValue(1);
    mw.CENADJ.click(0);
    EXPECT_FLOAT_EQ(mw.slope(), 0.005f);

    click(mw.REDGE);  // new ROI: the centre is the ROI's centre
    EXPECT_FLOAT_EQ(mw.centreX(), 225.0f);
    EXPECT_FLOAT_EQ(mw.centreY(), 240.0f);
    mw.CENADJ.click(1);  // fine: 0.1
    mw.FINESTP.setValue(0);
    for (int i = 0; i < 3; ++i) mw.CENADJ.click(3);  // 0.5 each
    EXPECT_NEAR(mw.centreX(), 225.1f, 1e-5);
    EXPECT_NEAR(mw.centreY(), 241.5f, 1e-5);
    EXPECT_EQ(store.roiLeft, 200);
    EXPECT_EQ(store.roiTop, 212);  // round(241.5) = 242 (halves to even), minus H div 2
    EXPECT_EQ(win.SH1.top(), store.roiTop);

    // After Edge_OK the adjusted centre is kept; a new ROI replaces it.
    click(mw.EDGEOK);
    EXPECT_EQ(store.newRoi, 0);
    click(mw.REDGE);
    EXPECT_NEAR(mw.centreY(), 241.5f, 1e-5);
    win.ROIS.click(2);
    click(mw.REDGE);
    EXPECT_FLOAT_EQ(mw.centreX(), 256.0f);
}

TEST_F(MeasurementWindow, RisingAndFallingEdgesGiveTheSameLsf) {
    edgeToLsf(800);
    const std::vector<float> rising = mw.lsf();
    edgeToLsf(-800);
    ASSERT_EQ(mw.state(), CTPSFF::LsfShown);
    for (size_t i = 0; i < rising.size(); ++i) EXPECT_NEAR(mw.lsf()[i], rising[i], 1e-6) << i;
}

TEST_F(MeasurementWindow, BaselineMarkerSetBaseAndTailZeroing) {
    edgeToLsf(800);
    EXPECT_TRUE(mw.Line1.visible());
    mw.windowMouseDown(2, 100, 0.3f);  // only the left button moves the marker
    EXPECT_NE(mw.Line1.y1(), 0.3);
    mw.windowMouseDown(1, 100, 0.05f);
    EXPECT_DOUBLE_EQ(mw.Line1.x1(), 3);
    EXPECT_DOUBLE_EQ(mw.Line1.x2(), 253);
    EXPECT_FLOAT_EQ(static_cast<float>(mw.Line1.y1()), 0.05f);
    const float at128 = mw.lsf()[128], highest = *std::max_element(mw.lsf().begin(), mw.lsf().end());
    click(mw.BASESET);
    EXPECT_EQ(mw.state(), CTPSFF::Zeroing);
    EXPECT_EQ(mw.caption(), "Zeroing mode. Please set zeroing points.");
    EXPECT_FLOAT_EQ(*std::max_element(mw.lsf().begin(), mw.lsf().end()), 1.0f);
    EXPECT_FLOAT_EQ(mw.lsf()[128], (at128 - 0.05f) / (highest - 0.05f));
    EXPECT_DOUBLE_EQ(mw.Line1.y1(), 0);

    mw.windowMouseDown(1, 100.2f, 0);
    mw.windowMouseDown(2, 128, 0);
    for (int i = 0; i < 256; ++i)
        if (i <= 100 || i >= 128) {
            EXPECT_EQ(mw.lsf()[size_t(i)], 0.0f) << i;
        }
    EXPECT_NE(mw.lsf()[127], 0.0f);
    mw.windowMouseDown(1, -40, 0);  // beyond the ends: nothing outside the LSF is touched
    mw.windowMouseDown(1, 900, 0);
}

TEST_F(MeasurementWindow, CommandsOutsideTheirStateDoNothing) {
    showVerticalEdge(500);
    setRoi(224, 224, 64, 64);
    click(mw.EDGEOK);  // no edge set up yet
    click(mw.BASESET);
    click(mw.MTFCLC, {"1"});
    EXPECT_EQ(mw.state(), CTPSFF::Idle);
    click(mw.EDGE);
    click(mw.BASESET);  // only with the LSF shown
    click(mw.MTFCLC, {"1"});
    EXPECT_EQ(mw.state(), CTPSFF::LinearEsf);
    EXPECT_TRUE(mw.mtfStore().slot(1).empty());
}

TEST_F(MeasurementWindow, RefusesWhatHasNoSoundResult) {
    struct Case {
        const char* name;
        std::function<void()> prepare;
        Button* command;
        const char* message;
        int16_t stateAfter;
    };
    const Case cases[] = {
        {"flat slice", [&] { showConstant(40); setRoi(224, 224, 64, 64); click(mw.EDGE); }, &mw.EDGEOK,
         "no edge found", CTPSFF::LinearEsf},
        {"ROI too wide", [&] { showVerticalEdge(500); setRoi(10, 224, 400, 64); }, &mw.EDGE,
         "The ROI is too wide for the edge MTF: at most 341 pixels.", CTPSFF::Idle},
        {"circle scan too wide", [&] { showVerticalEdge(500); setRoi(10, 224, 342, 64); }, &mw.REDGE,
         "The ROI is too wide for the edge MTF: at most 341 pixels.", CTPSFF::Idle},
        {"no field of view", [&] { showVerticalEdge(500); store.currentDfov = 0; setRoi(224, 224, 64, 64); click(mw.EDGE); },
         &mw.EDGEOK, "The slice has no field of view (DFOV 0): its MTF can't be scaled.", CTPSFF::LinearEsf},
        {"LSF zeroed everywhere", [&] {
             edgeToLsf(500);
             click(mw.BASESET);
             mw.windowMouseDown(1, 127, 0);
             mw.windowMouseDown(1, 128, 0);
         },
         &mw.MTFCLC, "The LSF is zero everywhere: no MTF.", CTPSFF::Zeroing},
        {"auto edge without an ESF", [] {}, &mw.AUTOEDGE,
         "Auto edge fits the edge of the ESF shown: choose Linear Edge or Circular Edge first.", CTPSFF::Idle},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        mw.Form_Load();
        c.prepare();
        echo.str("");
        c.command->click();
        EXPECT_NE(output().find("message \"" + std::string(c.message) + "\""), std::string::npos) << output();
        EXPECT_EQ(mw.state(), c.stateAfter);
    }
    // No slice: the edge commands only show and hide the arrows.
    store.sliceCount = 0;
    mw.Form_Load();
    click(mw.EDGE);
    EXPECT_EQ(mw.state(), CTPSFF::Idle);
    EXPECT_TRUE(mw.FINESTP.visible());
}

TEST_F(MeasurementWindow, StoringExportsTheCurveAndDrawsTheGraph) {
    measureBlock(320, "9");  // a slot past 7 goes to slot 7
    const CurveSlot& slot = mw.mtfStore().slot(7);
    ASSERT_EQ(slot.count, 49);
    EXPECT_EQ(slot.label, "EG FC13");
    // The caption adds the LSF's peak-to-noise ratio: a noise-free slice's
    // tails hold none.
    EXPECT_EQ(mw.caption(), "EG FC13 PNR>999");
    EXPECT_EQ(mw.state(), CTPSFF::MtfGraph);
    EXPECT_EQ(store.fftSize, 256);
    EXPECT_FLOAT_EQ(store.inverseDfov, 6.0f / 320.0f);
    const std::vector<std::string> text = lines(ui.clipboardText());
    ASSERT_EQ(text.size(), 50u);
    EXPECT_EQ(text[0], "EG FC13");
    EXPECT_EQ(text[1], "1.000");
    EXPECT_EQ(text[10], formatFixed(slot.value[9], "0.000"));
    // The graph: its frame texts, and slots 1 .. 7 drawn.
    std::vector<std::string> printed;
    for (const auto& p : mw.view()->printed()) printed.push_back(p.text);
    EXPECT_EQ(printed, (std::vector<std::string>{"1.0", "0", "1.5", "Spatial Frequency (cycles / mm)", "MTF"}));
    EXPECT_EQ(mw.drawnSlots(), (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));

    // 0 cancels: nothing stored, the old slot stays.
    click(mw.EDGE);
    click(mw.EDGEOK);
    click(mw.BASESET);
    click(mw.MTFCLC, {"0"});
    EXPECT_TRUE(mw.mtfStore().slot(1).empty());
    EXPECT_EQ(mw.state(), CTPSFF::Zeroing);
    click(mw.MTFCLC, {"-2"});
    EXPECT_TRUE(mw.mtfStore().slot(1).empty());
}

TEST_F(MeasurementWindow, ClipMtfAndClipLsfFormats) {
    measureBlock(250, "2");
    ui.clearClipboard();
    click(mw.CLIPMTF, {"2"});
    const std::vector<std::string> text = lines(ui.clipboardText());
    // Default range 0 .. 1.5 at 0.05: 31 lines after the label.
    ASSERT_EQ(text.size(), 32u);
    EXPECT_EQ(text[0], "\tEG FC13");
    EXPECT_EQ(text[1], "0.00\t1");
    EXPECT_EQ(text[3].substr(0, 6), "0.10\t.");
    EXPECT_EQ(text[31].substr(0, 5), "1.50\t");

    for (const char* bad : {"5", "9", "-1"}) {
        echo.str("");
        click(mw.CLIPMTF, {bad});
        EXPECT_NE(output().find("message \"no data!\""), std::string::npos) << bad;
    }

    // A curve that ends before the frequency maximum ends the export there.
    ui.queueReply(Reply::Yes);
    click(mw.SETTING, {"5", "0.1"});
    click(mw.CLIPMTF, {"2"});
    EXPECT_EQ(lines(ui.clipboardText()).size(), 1u + 31u);  // 0 .. 3.0 cycles/mm, the last stored point

    click(mw.LSFPUT);
    const std::vector<std::string> lsf = lines(ui.clipboardText());
    ASSERT_EQ(lsf.size(), 256u);
    EXPECT_EQ(lsf[0], "0.000");
}

TEST_F(MeasurementWindow, CompareSelectsSlotsAndArrowsScaleTheGraph) {
    measureBlock(250, "1");
    measureBlock(250, "3");
    click(mw.COMPMTF, {"1-3"});
    EXPECT_EQ(mw.drawnSlots(), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(mw.dataNumber(), 4);
    click(mw.COMPMTF, {"2,9"});
    EXPECT_NE(output().find("message \"Selection: give slot numbers from 1 to 7"), std::string::npos);
    EXPECT_EQ(mw.drawnSlots(), (std::vector<int>{1, 2, 3}));
    mw.CENADJ.click(3);
    EXPECT_NEAR(mw.graphYScale(), 1.1f, 1e-6);
    for (int i = 0; i < 12; ++i) mw.CENADJ.click(3);
    EXPECT_FLOAT_EQ(mw.graphYScale(), 2.0f);
}

TEST_F(MeasurementWindow, GraphSavedAsPngAndCopied) {
    measureBlock(250, "1");
    const std::string path = folder.path() + "graph";
    ui.queueFile(path);
    click(mw.SAVEGRAPH);
    EXPECT_TRUE(std::filesystem::exists(path + ".png"));
    click(mw.COPYGRAPH);
    ASSERT_TRUE(ui.clipboardHasImage());
    EXPECT_EQ(ui.clipboardImage().width, CTPSFF::kGraphWidth);
    EXPECT_EQ(ui.clipboardImage().height, CTPSFF::kGraphHeight);
}

}  // namespace
}  // namespace halvex::testing
