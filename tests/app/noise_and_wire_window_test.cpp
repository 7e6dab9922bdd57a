// The noise spectrum and wire commands of the measurement window around the
// numbers: the refusals, the bins and exports of the NPS store, the graph's
// log offset, the state rules.
#include <cmath>
#include <functional>
#include <limits>

#include "measurement/measurement_noise.h"
#include "measurement_fixture.h"

namespace halvex::testing {
namespace {

std::vector<std::string> clipboardLines(const std::string& text) {
    std::vector<std::string> out;
    for (size_t start = 0, at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2)
        out.push_back(text.substr(start, at - start));
    return out;
}

class NoiseAndWireWindow : public MeasurementTest {
protected:
    void showNoise(double fov) { showPhantom({phantom::Phantom{}, fov, 0.4, 20.0, 3}); }
    // A bright spot (2000 HU, sigma 1.5 px) at (x, y) in water.
    void showWire(int x, int y) {
        showConstant(0);
        store.slices[0].kernel = "FC13";
        for (int r = -6; r <= 6; ++r)
            for (int c = -6; c <= 6; ++c)
                store.workImage[size_t(y + r) * 512 + x + c] =
                    static_cast<int16_t>(1024 + std::lround(2000 * std::exp(-(r * r + c * c) / 4.5)));
    }
};

TEST_F(NoiseAndWireWindow, RefusalsLeaveTheWindowAsItWas) {
    struct Case {
        const char* name;
        std::function<void()> prepare;
        Button* command;
        std::vector<std::string> answers;
        const char* message;
    };
    const Case cases[] = {
        {"NPS width not a power of two", [&] { showNoise(250); setRoi(200, 200, 100, 100); }, &mw.NPSVS, {},
         "not 2^i data"},
        {"NPS patch leaves the slice", [&] { showNoise(250); setRoi(300, 100, 256, 256); }, &mw.NPSRF, {},
         "ROI error"},
        {"no noise to measure", [&] { showConstant(40); setRoi(192, 192, 128, 128); }, &mw.NPSRF, {},
         "The ROI holds no noise (a frequency bin has zero power): no spectrum was stored."},
        {"slice range reversed", [&] { showNoise(250); appendSlices(6, 1024); setRoi(192, 192, 128, 128); },
         &mw.NPSVS, {"1", "5", "2"}, "From / To: give slice numbers from 1 to 7, the first not above the last."},
        {"2D FFT ROI too large", [&] { showWire(256, 256); setRoi(200, 200, 128, 128); }, &mw.FFT2DMTF, {},
         "too large ROI"},
        {"2D FFT circle below 20 pixels", [&] { showWire(256, 256); setRoi(241, 241, 30, 30); }, &mw.FFT2DMTF, {},
         "ROI error"},
        {"slit leaves the slice", [&] { showWire(60, 256); setRoi(40, 236, 40, 40); }, &mw.VSLIT, {"0", "250", "40"},
         "ROI error"},
        {"radial circle leaves the slice", [&] { showWire(256, 120); setRoi(236, 100, 40, 40); }, &mw.RADIAL,
         {"250", "40"}, "ROI error"},
        {"field of view 0", [&] { showWire(256, 256); setRoi(236, 236, 40, 40); }, &mw.VSLIT, {"0", "0"},
         "FOV(mm): give the field of view in mm, above 0."},
        {"no wire in the air", [&] { showConstant(-1000); setRoi(236, 236, 40, 40); }, &mw.VSLIT, {"0", "250", "40"},
         "no wire found: the profile through the brightest pixel of the ROI has no positive peak"},
        {"empty NPS slot", [] {}, &mw.NPSCLIP, {"3"}, "no data!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        mw.Form_Load();
        c.prepare();
        echo.str("");
        click(*c.command, c.answers);
        EXPECT_NE(output().find("message \"" + std::string(c.message) + "\""), std::string::npos) << output();
        EXPECT_EQ(mw.state(), CTPSFF::Idle);
        EXPECT_TRUE(mw.npsStore().slot(1).empty());
        EXPECT_TRUE(mw.mtfStore().slot(1).empty());
    }
}

TEST_F(NoiseAndWireWindow, NpsBinsStoreExportAndGraph) {
    showNoise(320);
    setRoi(192, 192, 128, 128);
    // Radial, N = 128, FOV 320: df = 0.0125, 48 bins of 0.016 cycles/mm.
    click(mw.NPSRF, {"0"});  // 0 cancels
    EXPECT_TRUE(mw.npsStore().slot(1).empty());
    click(mw.NPSRF, {"2"});
    const CurveSlot& radial = mw.npsStore().slot(2);
    ASSERT_EQ(radial.count, 48);
    EXPECT_NEAR(radial.abscissa[0], 0.016, 1e-6);
    EXPECT_NEAR(radial.abscissa[47], 0.768, 1e-5);
    EXPECT_EQ(radial.label, "FC13 0");
    EXPECT_EQ(mw.state(), CTPSFF::NpsGraph);
    EXPECT_EQ(mw.dataNumber(), 2);

    // The export: the label, then 10^value at 0.05 .. 0.75 (the last stored
    // frequency ends it).
    const std::vector<std::string> stored = clipboardLines(ui.clipboardText());
    ASSERT_EQ(stored.size(), 16u);
    EXPECT_EQ(stored[0], "FC13 0");
    click(mw.NPSCLIP, {"2"});
    const std::vector<std::string> clip = clipboardLines(ui.clipboardText());
    ASSERT_EQ(clip.size(), 16u);
    EXPECT_EQ(clip[0], "\tFC13 0");
    EXPECT_EQ(clip[1].substr(0, 5), "0.05\t");
    EXPECT_EQ(clip[15].substr(0, 5), "0.75\t");
    EXPECT_EQ(clip[1].substr(5), stored[1]);

    // Slit, N = 128: 24 bins of 0.032 cycles/mm, and the bin count stays 24.
    click(mw.NPSVS, {"0", "3"});
    EXPECT_EQ(mw.npsStore().slot(3).count, 24);
    EXPECT_NEAR(mw.npsStore().slot(3).abscissa[0], 0.032, 1e-6);
    EXPECT_EQ(mw.npsFrequencyBins(), 24);
    setRoi(128, 128, 256, 256);
    click(mw.NPSVS, {"0", "3"});
    EXPECT_EQ(mw.npsStore().slot(3).count, 24);
    click(mw.NPSRF, {"3"});  // N = 256 resets it
    EXPECT_EQ(mw.npsFrequencyBins(), 48);

    // The arrows shift the graph by decades.
    mw.CENADJ.click(3);
    EXPECT_FLOAT_EQ(mw.npsLogOffset(), 0.0f);
    mw.CENADJ.click(2);
    mw.CENADJ.click(2);
    EXPECT_FLOAT_EQ(mw.npsLogOffset(), -2.0f);
    click(mw.NPSCOMP, {"2-3"});
    EXPECT_EQ(mw.drawnSlots(), (std::vector<int>{2, 3}));
}

TEST_F(NoiseAndWireWindow, WireLsfFlowAndMultiMeasureRules) {
    showWire(256, 256);
    setRoi(236, 236, 40, 40);
    echo.str("");
    click(mw.MMTFCLC);  // only after a slit or radial MTF: not even a prompt
    EXPECT_EQ(output(), "");
    click(mw.VSLIT, {"1", "250", "41"});
    EXPECT_EQ(mw.slitHeightSetting(), 42);
    EXPECT_EQ(mw.methodTag(), "VS-Y");
    EXPECT_EQ(mw.state(), CTPSFF::LsfShown);
    EXPECT_EQ(mw.lsfCentre(), 128);
    EXPECT_FLOAT_EQ(mw.lsf()[128], 1.0f);
    click(mw.BASESET);
    click(mw.MTFCLC, {"1"});
    EXPECT_EQ(mw.mtfStore().slot(1).label, "VS-Y FC13");
    // 2D FFT: slots up to 4.
    click(mw.FFT2DMTF, {"0", "250", "9"});
    EXPECT_EQ(mw.mtfStore().slot(4).label, "FFT2D FC13");
    echo.str("");
    click(mw.MMTFCLC);  // not after a 2D FFT
    EXPECT_EQ(output().find("prompt"), std::string::npos);
    click(mw.RADIAL, {"250", "100"});
    EXPECT_EQ(mw.slitHeightSetting(), 70);
    EXPECT_EQ(mw.methodTag(), "VS-R");
}

TEST(PeakToNoise, HandComputedRatios) {
    // An LSF peaking at 1 on sample 128, the spread within 27 samples of it,
    // its tails alternately +0.1 and -0.1 from sample 21 on (0 .. 20 were
    // never filled and are not tails): 1 over an SD of 0.1.
    std::vector<float> lsf(256, 0.0f);
    for (int i = 21; i < 256; ++i) lsf[size_t(i)] = i % 2 ? 0.1f : -0.1f;
    for (int d = -27; d <= 27; ++d) lsf[size_t(128 + d)] = std::exp(-float(d * d) / 8);
    EXPECT_NEAR(lsfPeakToNoise(lsf, 128, 28), 10, 1e-5);
    EXPECT_EQ(lsfSpan(lsf), 235);
    // Tails without noise.
    for (int i = 21; i <= 100; ++i) lsf[size_t(i)] = 0.05f;
    for (int i = 156; i < 256; ++i) lsf[size_t(i)] = 0.05f;
    EXPECT_EQ(lsfPeakToNoise(lsf, 128, 28), std::numeric_limits<double>::infinity());

    // A point of 100 on a checkerboard of +-5: the annulus 20 .. 40 about it
    // has a mean of 0 and an SD of 5 (to a pixel or two of either colour).
    std::vector<float> patch(size_t(kWirePatch) * kWirePatch);
    for (int i = 0; i < kWirePatch; ++i)
        for (int j = 0; j < kWirePatch; ++j) patch[size_t(i) * kWirePatch + j] = (i + j) % 2 ? -5.0f : 5.0f;
    patch[size_t(128) * kWirePatch + 128] = 100;
    EXPECT_NEAR(ringPeakToNoise(patch, 40), 20, 0.05);

    // The mean of four measurements of PNR 10 halves their noise.
    EXPECT_DOUBLE_EQ(meanPeakToNoise({10, 10, 10, 10}), 20);
}

// A clean, high-contrast measurement only adds its PNR (a noise spectrum its
// standard error) to the caption; a noisy, low-contrast one, or a bead whose
// background was answered off, says that noise decides it. The clipboard
// keeps the label alone.
TEST_F(NoiseAndWireWindow, CaptionSaysWhenNoiseDecides) {
    constexpr double kHalfPixel = 0.5 * 250 / 512;  // the wire on the centre of pixel (256, 256)
    // Clean: the standard phantom (a 100 HU edge, a wire peaking near 920
    // HU) under 1 HU of noise. Faint: a 10 HU edge and a 60 HU wire under 20.
    auto phantomSlice = [&](bool faint) {
        phantom::Phantom p = phantom::standardPhantom(0, kHalfPixel, kHalfPixel);
        if (faint) {
            p.block.contrast = 10;
            p.wire.contrast = 2000;
        }
        showPhantom({p, 250, 0.4, faint ? 20.0 : 1.0, 5});
    };
    auto edge = [&] {
        setRoi(363, 236, 64, 40);
        click(mw.EDGE);
        click(mw.AUTOEDGE);
        click(mw.EDGEOK);
        click(mw.BASESET);
        click(mw.MTFCLC, {"1"});
    };
    auto wireLsf = [&](Button& method, const std::vector<std::string>& answers) {
        setRoi(236, 236, 40, 40);
        click(method, answers);
        click(mw.BASESET);
        click(mw.MTFCLC, {"1"});
    };
    // The 2D FFT on a 50-pixel ROI: a circle of 25 pixels.
    auto fft = [&](const char* background) {
        setRoi(231, 231, 50, 50);
        click(mw.FFT2DMTF, {background, "250", "1"});
    };
    // Twelve slices of water under 20 HU of noise in the list.
    auto noiseSeries = [&] {
        phantom::SliceSampler sampler(phantom::Phantom{}, 250, phantom::Blur{0.4, 1.0});
        std::vector<double> water, hu;
        sampler.sliceHu(0, water);
        store.sliceCount = 0;
        store.currentSlice = 0;
        store.slices[0].kernel = "FC13";
        for (int s = 0; s < 12; ++s) {
            hu = water;
            phantom::addNoise(hu, 20, 40 + s, 0);
            phantom::toStored(hu, 1024, store.workImage);
            STOREIMG(store, -1024, float(s), 250.0f);
        }
    };
    const std::string mtfNoise = ": noise decides this MTF; average slices (Multi measure, a slice range or Ave.)";
    const std::string npsNoise =
        ": noise decides this NPS; average more samples (Virtual Slit over a slice range, or a larger ROI)";
    struct Case {
        const char* name;
        std::function<void()> prepare, run;
        std::string label, figure, verdict;  // verdict: how the caption ends, empty for none
    };
    const Case cases[] = {
        {"clean edge", [&] { phantomSlice(false); }, edge, "EG FC13", " PNR", ""},
        {"faint edge", [&] { phantomSlice(true); }, edge, "EG FC13", " PNR", mtfNoise},
        {"clean slit", [&] { phantomSlice(false); }, [&] { wireLsf(mw.VSLIT, {"0", "250", "40"}); }, "VS-X FC13",
         " PNR", ""},
        {"faint slit", [&] { phantomSlice(true); }, [&] { wireLsf(mw.VSLIT, {"0", "250", "40"}); }, "VS-X FC13",
         " PNR", mtfNoise},
        {"clean radial", [&] { phantomSlice(false); }, [&] { wireLsf(mw.RADIAL, {"250", "40"}); }, "VS-R FC13",
         " PNR", ""},
        {"faint radial", [&] { phantomSlice(true); }, [&] { wireLsf(mw.RADIAL, {"250", "40"}); }, "VS-R FC13",
         " PNR", mtfNoise},
        {"clean 2D FFT", [&] { phantomSlice(false); }, [&] { fft("0"); }, "FFT2D FC13", " PNR", ""},
        {"faint 2D FFT", [&] { phantomSlice(true); }, [&] { fft("0"); }, "FFT2D FC13", " PNR", mtfNoise},
        // Half a HU too high over the circle takes a quarter of the wire's
        // zero-frequency term: the curve stands far above 1.
        {"clean 2D FFT, background off", [&] { phantomSlice(false); }, [&] { fft("0.5"); }, "FFT2D FC13", " PNR",
         ", MTF above 1 at low frequencies" + mtfNoise},
        {"NPS of twelve slices", noiseSeries,
         [&] {
             setRoi(128, 128, 256, 256);
             click(mw.NPSVS, {"1", "1", "12", "1"});
         },
         "FC13 0", " SE=", ""},
        {"NPS of one slice", [&] { showNoise(250); },
         [&] {
             setRoi(192, 192, 128, 128);
             click(mw.NPSRF, {"1"});
         },
         "FC13 0", " SE=", npsNoise},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        mw.Form_Load();
        c.prepare();
        c.run();
        const std::string caption = mw.caption();
        EXPECT_EQ(caption.substr(0, c.label.size() + c.figure.size()), c.label + c.figure) << caption;
        EXPECT_EQ(caption.find(": noise decides") != std::string::npos, !c.verdict.empty()) << caption;
        EXPECT_TRUE(caption.ends_with(c.verdict)) << caption;
        EXPECT_EQ(clipboardLines(ui.clipboardText()).at(0), c.label);
    }
}

}  // namespace
}  // namespace halvex::testing
