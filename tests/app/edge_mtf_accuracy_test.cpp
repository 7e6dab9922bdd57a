// The edge MTF against the analytic answer: an edge blurred by a Gaussian of
// known sigma, point-sampled, has the presampled MTF exp(-2 pi^2 s^2 f^2);
// the method adds one sinc(f p / 3) for the third-pixel bins and one for the
// difference.
#include <cmath>
#include <cstdio>
#include <functional>
#include <numbers>

#include "measurement/curve_math.h"
#include "measurement_fixture.h"

namespace halvex::testing {
namespace {

double sinc(double x) { return x == 0 ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x); }

double expectedMtf(double f, double sigma, double pixel) {
    const double s = sinc(f * pixel / 3);
    return std::exp(-2 * std::numbers::pi * std::numbers::pi * sigma * sigma * f * f) * s * s;
}

// The frequency where a curve falls through 0.5, by linear interpolation.
double mtf50(const std::function<double(double)>& curve, double step, double limit) {
    for (double f = 0; f + step <= limit; f += step) {
        const double a = curve(f), b = curve(f + step);
        if (a >= 0.5 && b < 0.5) return f + step * (a - 0.5) / (a - b);
    }
    return -1;
}

struct Deviation {
    double worst = 0;
    int points = 0;
};

// Worst distance of slot 1 from the analytic MTF up to 0.8 of the Nyquist
// frequency of the pixel grid.
Deviation compareSlot(const CurveSlot& slot, double sigma, double fov) {
    const double pixel = fov / 512, limit = 0.8 / (2 * pixel);
    Deviation d;
    for (int i = 0; i < slot.count && slot.abscissa[size_t(i)] <= limit; ++i) {
        d.worst = std::max(d.worst, std::fabs(slot.value[size_t(i)] - expectedMtf(slot.abscissa[size_t(i)], sigma, pixel)));
        ++d.points;
    }
    return d;
}

// A water cylinder with one insert of 1000 HU, so that the 1 HU steps of
// the stored values don't matter.
phantom::Phantom withBlock(double angleDeg) {
    phantom::Phantom p;
    p.block = {80.0, 0.0, 24.0, 40.0, angleDeg, 1000.0};
    return p;
}

phantom::Phantom withRod(double cx, double cy) {
    phantom::Phantom p;
    p.rod = {cx, cy, 25.0, 1000.0};
    return p;
}

class EdgeAccuracy : public MeasurementTest {
protected:
    // A 64 x 48 ROI around the block's left edge (68 mm right of the centre).
    void linearRoi(double fov) {
        const int column = static_cast<int>(std::lround(phantomPixel(68.0, fov)));
        setRoi(column - 32, 232, 64, 48);
    }

    // Edge_OK, Set-Base at the estimated baseline, the given tail clicks, and
    // MTFcalc. into slot 1.
    void finishMtf(std::vector<float> zeroClicks = {}) {
        click(mw.EDGEOK);
        ASSERT_EQ(mw.state(), CTPSFF::LsfShown);
        click(mw.BASESET);
        ASSERT_EQ(mw.state(), CTPSFF::Zeroing);
        for (float x : zeroClicks) mw.windowMouseDown(1, x, 0.5f);
        click(mw.MTFCLC, {"1"});
        ASSERT_EQ(mw.state(), CTPSFF::MtfGraph);
    }

    void turnTo(float slope) {
        const int coarse = static_cast<int>(std::lround(slope / 0.01));
        for (int i = 0; i < std::abs(coarse); ++i) mw.CENADJ.click(coarse > 0 ? 1 : 0);
        FinetuneWith(slope - coarse * 0.01f, 0.005f, 0, 1);
    }

    void moveCentreTo(double x, double y) {
        const double dx = x - mw.centreX(), dy = y - mw.centreY();
        for (int i = 0; i < std::abs(std::lround(dx / 0.5)); ++i) mw.CENADJ.click(dx > 0 ? 1 : 0);
        for (int i = 0; i < std::abs(std::lround(dy / 0.5)); ++i) mw.CENADJ.click(dy > 0 ? 3 : 2);
        FinetuneWith(static_cast<float>(x - mw.centreX()), 0.1f, 0, 1);
        FinetuneWith(static_cast<float>(y - mw.centreY()), 0.1f, 2, 3);
    }

    void FinetuneWith(float residual, float step, int down, int up) {
        const int fine = static_cast<int>(std::lround(residual / step));
        if (fine == 0) return;
        mw.FINESTP.setValue(1);
        for (int i = 0; i < std::abs(fine); ++i) mw.CENADJ.click(fine > 0 ? up : down);
        mw.FINESTP.setValue(0);
    }
};

struct LinearCase {
    double fov, sigma;
    bool autoEdge;
};

TEST_F(EdgeAccuracy, LinearEdgeMatchesTheAnalyticMtf) {
    const double tilt = 3.0;
    for (const LinearCase c : {LinearCase{250, 0.4, false}, LinearCase{250, 0.7, true}, LinearCase{320, 0.7, false},
                               LinearCase{320, 0.4, true}}) {
        SCOPED_TRACE("fov " + std::to_string(c.fov) + " sigma " + std::to_string(c.sigma) +
                     (c.autoEdge ? " auto edge" : " arrows"));
        showPhantom({withBlock(tilt), c.fov, c.sigma});
        linearRoi(c.fov);
        click(mw.EDGE);
        ASSERT_EQ(mw.state(), CTPSFF::LinearEsf);
        const float trueSlope = static_cast<float>(std::tan(tilt * std::numbers::pi / 180));
        if (c.autoEdge) {
            click(mw.AUTOEDGE);
            EXPECT_NEAR(mw.slope(), trueSlope, 0.002);
        } else {
            turnTo(trueSlope);
            EXPECT_NEAR(mw.slope(), trueSlope, 0.0026);
        }
        ASSERT_NO_FATAL_FAILURE(finishMtf());
        const CurveSlot& slot = mw.mtfStore().slot(1);
        const Deviation d = compareSlot(slot, c.sigma, c.fov);
        EXPECT_GT(d.points, 10);
        EXPECT_LT(d.worst, 0.015);

        const double pixel = c.fov / 512;
        SPLINE spline;
        spline.build(slot.abscissa.data(), slot.value.data(), slot.count);
        const double measured = mtf50([&](double f) { return spline.evaluate(f); }, 0.001, slot.abscissa[size_t(slot.count - 1)]);
        const double truth = mtf50([&](double f) { return expectedMtf(f, c.sigma, pixel); }, 0.001, 3.0);
        EXPECT_NEAR(measured / truth, 1.0, 0.015);
        std::printf("linear fov %.0f sigma %.1f %s: worst %.4f over %d points, MTF50 %.4f vs %.4f\n", c.fov, c.sigma,
                    c.autoEdge ? "auto" : "arrows", d.worst, d.points, measured, truth);
    }
}

struct CircularCase {
    double fov, sigma, cx, cy;  // rod centre in pixels
    bool autoEdge;
    double tolerance;
};

TEST_F(EdgeAccuracy, CircularEdgeMatchesTheAnalyticMtf) {
    for (const CircularCase c : {CircularCase{250, 0.4, 200.37, 300.71, false, 0.015},
                                 CircularCase{320, 0.7, 180.62, 240.28, true, 0.015},
                                 CircularCase{250, 0.7, 310.83, 190.44, true, 0.015},
                                 // Centred on a pixel and on a half pixel: some bins stay empty
                                 // and are filled from their neighbours.
                                 CircularCase{250, 0.4, 256.0, 256.0, false, 0.03},
                                 CircularCase{320, 0.7, 255.5, 255.5, false, 0.03}}) {
        SCOPED_TRACE("fov " + std::to_string(c.fov) + " sigma " + std::to_string(c.sigma) + " centre " +
                     std::to_string(c.cx) + ", " + std::to_string(c.cy));
        const double pixel = c.fov / 512;
        showPhantom({withRod(phantom::pixelToMm(c.cx, pixel), phantom::pixelToMm(c.cy, pixel)), c.fov, c.sigma});
        // A ROI about as wide as the rod, around its rounded centre.
        const int width = static_cast<int>(std::lround(25.0 / pixel));
        setRoi(static_cast<int>(std::lround(c.cx)) - width / 2, static_cast<int>(std::lround(c.cy)) - width / 2, width,
               width);
        click(mw.REDGE);
        ASSERT_EQ(mw.state(), CTPSFF::CircularEsf);
        if (c.autoEdge) {
            click(mw.AUTOEDGE);
            EXPECT_NEAR(mw.centreX(), c.cx, 0.05);
            EXPECT_NEAR(mw.centreY(), c.cy, 0.05);
        } else {
            moveCentreTo(c.cx, c.cy);
            EXPECT_NEAR(mw.centreX(), c.cx, 0.051);
            EXPECT_NEAR(mw.centreY(), c.cy, 0.051);
        }
        ASSERT_NO_FATAL_FAILURE(finishMtf());
        const Deviation d = compareSlot(mw.mtfStore().slot(1), c.sigma, c.fov);
        EXPECT_GT(d.points, 10);
        EXPECT_LT(d.worst, c.tolerance);
        std::printf("circular fov %.0f sigma %.1f centre %.2f,%.2f %s: worst %.4f over %d points\n", c.fov, c.sigma,
                    c.cx, c.cy, c.autoEdge ? "auto" : "arrows", d.worst, d.points);
    }
}

// Contrast 100 HU, noise 2 HU: contrast-to-noise 50 on a 64-pixel ROI, tails
// zeroed 10 pixels from the peak.
TEST_F(EdgeAccuracy, NoisyLinearEdgeStaysWithinTheNoiseLimit) {
    const double fov = 250, sigma = 0.7;
    double worst = 0, sum = 0;
    const int seeds = 4;
    for (int seed = 1; seed <= seeds; ++seed) {
        showPhantom({phantom::standardPhantom(0, 0, -70), fov, sigma, 2.0, static_cast<uint64_t>(seed)});
        linearRoi(fov);
        click(mw.EDGE);
        click(mw.AUTOEDGE);
        ASSERT_NO_FATAL_FAILURE(finishMtf({98, 158}));
        const Deviation d = compareSlot(mw.mtfStore().slot(1), sigma, fov);
        EXPECT_LT(d.worst, 0.06) << "seed " << seed;
        worst = std::max(worst, d.worst);
        sum += d.worst;
    }
    std::printf("noisy linear edge, %d seeds: worst deviation %.4f, mean of the worst %.4f\n", seeds, worst, sum / seeds);
}

}  // namespace
}  // namespace halvex::testing
