// Detectability d' against closed forms, and from curves the measurement
// window measured on phantom slices against d' from the phantom's true MTF
// (a Gaussian) and NPS (flat, s² p²).
#include <cmath>
#include <cstdio>
#include <numbers>

#include "measurement/detectability.h"
#include "measurement_fixture.h"
#include "platform/number_text.h"

namespace halvex::testing {
namespace {

constexpr double kPi = std::numbers::pi;

double gaussianMtf(double f, double sigmaMm) { return std::exp(-2 * kPi * kPi * sigmaMm * sigmaMm * f * f); }

// A plain midpoint sum with many more points than the Simpson grid.
double midpointSum(const std::function<double(double)>& g, double fMax, int n = 100000) {
    double sum = 0;
    for (int i = 0; i < n; ++i) sum += g((i + 0.5) * fMax / n);
    return sum * fMax / n;
}

TEST(Detectability, AgreesWithClosedFormsForAGaussianMtfAndFlatNps) {
    constexpr double s = 0.5, n0 = 25, fMax = 2;
    auto mtf = [&](double f) { return gaussianMtf(f, s); };
    auto flat = [&](double) { return n0; };
    for (const DetectabilityTask task : {DetectabilityTask{5, 10}, DetectabilityTask{1, -20}, DetectabilityTask{12, 3}}) {
        SCOPED_TRACE(task.diameter);
        // NPW with a flat NPS: d'^2 = int W^2 MTF^2 2 pi f df / N0.
        const double npw = std::sqrt(midpointSum([&](double f) {
                                         return std::pow(taskSpectrum(task, f) * mtf(f), 2) * 2 * kPi * f;
                                     }, fMax) / n0);
        EXPECT_NEAR(detectability(task, {false}, mtf, flat, fMax).dPrime / npw, 1.0, 0.005);

        // NPWE: [int W^2 MTF^2 E^2]^2 / (N0 int W^2 MTF^2 E^4).
        const Observer eye{true, 500, 1, false};
        auto e2 = [&](double f) { return std::pow(eyeResponse(eye, f), 2); };
        const double signal = midpointSum([&](double f) {
            return std::pow(taskSpectrum(task, f) * mtf(f), 2) * e2(f) * 2 * kPi * f;
        }, fMax);
        const double noise = midpointSum([&](double f) {
            return std::pow(taskSpectrum(task, f) * mtf(f), 2) * e2(f) * e2(f) * n0 * 2 * kPi * f;
        }, fMax);
        const double npwe = detectability(task, eye, mtf, flat, fMax).dPrime;
        EXPECT_NEAR(npwe / (signal / std::sqrt(noise)), 1.0, 0.005);
        // Internal noise only hides the signal further; four times the
        // noise halves d'.
        EXPECT_LT(detectability(task, {true, 500, 1, true}, mtf, flat, fMax).dPrime, npwe);
        EXPECT_NEAR(detectability(task, eye, mtf, [&](double) { return 4 * n0; }, fMax).dPrime, npwe / 2, 1e-9 * npwe);
    }
    // A small disc is C times its area at every frequency that counts:
    // d'^2 = (C area)^2 (1 - exp(-4 pi^2 s^2 fMax^2)) / (4 pi s^2 N0).
    const DetectabilityTask dot{0.01, 100};
    const double area = kPi * dot.diameter * dot.diameter / 4;
    const double limit = dot.contrast * area * std::sqrt((1 - std::exp(-4 * kPi * kPi * s * s * fMax * fMax)) / (4 * kPi * s * s * n0));
    EXPECT_NEAR(detectability(dot, {false}, mtf, flat, fMax).dPrime / limit, 1.0, 0.005);
}

constexpr double kFov = 250, kPixel = kFov / 512, kWireSigma = 1.5;  // pixels

class DetectabilityWindow : public MeasurementTest {
protected:
    void show(const std::vector<double>& hu) {
        phantom::toStored(hu, 1024.0, store.workImage);
        store.sliceCount = std::max<int16_t>(store.sliceCount, 1);
        store.currentSlice = 0;
        store.workCtOffset = -1024;
        store.currentDfov = static_cast<float>(kFov);
    }
    // A wire at the centre, blurred by a Gaussian: its 2D-FFT MTF into slot 1.
    void measureMtf() {
        std::vector<double> hu(phantom::kSliceSize);
        for (int r = 0; r < 512; ++r)
            for (int c = 0; c < 512; ++c)
                hu[size_t(r) * 512 + c] = 2000 * std::exp(-((c - 256.0) * (c - 256.0) + (r - 256.0) * (r - 256.0)) /
                                                          (2 * kWireSigma * kWireSigma));
        show(hu);
        setRoi(206, 206, 100, 100);
        click(mw.FFT2DMTF, {"0", "250", "1"});
    }
    // White noise of SD `sd`: its radial NPS into `slot`.
    void measureNps(double sd, int slot) {
        std::vector<double> hu(phantom::kSliceSize, 0.0);
        phantom::addNoise(hu, sd, 7, 0);
        show(hu);
        setRoi(128, 128, 256, 256);
        click(mw.NPSRF, {std::to_string(slot)});
    }
    double dPrime(const std::vector<std::string>& answers) {
        click(mw.DPRIME, answers);
        const std::string caption = mw.caption();
        EXPECT_EQ(caption.rfind("d'= ", 0), 0u) << output();
        return std::atof(caption.c_str() + 4);
    }
    // d' from the phantom's truth over the measured curves' common range.
    double truth(const Observer& observer, double sd) const {
        const CurveSlot &m = mw.mtfStore().slot(1), &n = mw.npsStore().slot(1);
        const double fMax = std::min(m.abscissa[size_t(m.count - 1)], n.abscissa[size_t(n.count - 1)]);
        return detectability({5, 10}, observer, [](double f) { return gaussianMtf(f, kWireSigma * kPixel); },
                             [&](double) { return sd * sd * kPixel * kPixel; }, fMax)
            .dPrime;
    }
};

TEST_F(DetectabilityWindow, MeasuredCurvesGiveThePhantomsDPrime) {
    measureMtf();
    measureNps(20, 1);
    measureNps(10, 2);
    ASSERT_FALSE(mw.mtfStore().slot(1).empty()) << output();
    ASSERT_FALSE(mw.npsStore().slot(2).empty()) << output();

    const double npw = dPrime({"5", "10", "1", "1", "0"});
    const double npwe = dPrime({"5", "10", "1", "1", "1", "500", "1", "0"});
    const double halfNoise = dPrime({"5", "10", "1", "2", "0"});
    std::printf("d' NPW %.3f (truth %.3f), NPWE %.3f (truth %.3f), half the noise %.3f\n", npw,
                truth({false}, 20), npwe, truth({true, 500, 1, false}, 20), halfNoise);
    EXPECT_NEAR(npw / truth({false}, 20), 1.0, 0.10);
    EXPECT_NEAR(npwe / truth({true, 500, 1, false}, 20), 1.0, 0.10);
    EXPECT_NEAR(halfNoise / npw, 2.0, 0.10);  // within 5 %
    EXPECT_EQ(mw.caption().substr(mw.caption().size() - 5), "(NPW)");
    const std::string clip = ui.clipboardText();
    EXPECT_NE(clip.find("Task diameter (mm)\t5\r\n"), std::string::npos) << clip;
    EXPECT_NE(clip.find("NPS Data No.\t2\t"), std::string::npos) << clip;
    EXPECT_EQ(clip.substr(clip.rfind("d'\t")), "d'\t" + formatFixed(halfNoise, "0.00") + "\r\n");

    // An empty slot has no data.
    click(mw.DPRIME, {"5", "10", "5"});
    EXPECT_NE(output().find("message \"no data!\""), std::string::npos);
}

}  // namespace
}  // namespace halvex::testing
