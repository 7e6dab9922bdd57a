// "Circular Proc" on a rod whose centre drifts linearly across 20 slices:
// the centres found on the averaged, smoothed start and end images steer one
// ESF over the whole run, whose MTF must match the single-slice circular
// edge of the same blur; and the steps' refusals.
#include <cmath>
#include <cstdio>

#include "measurement_fixture.h"

namespace halvex::testing {
namespace {

constexpr double kFov = 250, kSigma = 0.5;
constexpr int kSlices = 20;

class CircularProc : public MeasurementTest {
protected:
    // Rod (25 mm, +1000 HU) at x = -78 + 0.15 k mm, y = 0.1 k mm on slice k.
    void appendDriftingRod() {
        std::vector<double> hu;
        for (int k = 0; k < kSlices; ++k) {
            phantom::Phantom object;
            object.rod = {-78.0 + 0.15 * k, 0.1 * k, 25.0, 1000.0};
            phantom::SliceSampler(object, kFov, phantom::Blur{kSigma, 1.0}).sliceHu(0.0, hu);
            phantom::addNoise(hu, 2.0, 9, k);
            phantom::toStored(hu, 1024.0, store.workImage);
            STOREIMG(store, -1024, static_cast<float>(k), static_cast<float>(kFov));
        }
        store.currentDfov = static_cast<float>(kFov);
        store.workCtOffset = -1024;
    }
    void showSlice(int k) {
        ASSERT_TRUE(readSlicePixels(store, store.slices[size_t(k)], store.workImage.data()));
        store.currentSlice = static_cast<int16_t>(k);
    }
    void roiAroundRod(int k) {
        const int cx = static_cast<int>(phantomPixel(-78.0 + 0.15 * k, kFov)), cy = static_cast<int>(phantomPixel(0.1 * k, kFov));
        setRoi(cx - 20, cy - 20, 40, 40);
    }
    // The circle centre on the image on show, fitted.
    void fitCentre() {
        click(mw.REDGE);
        click(mw.AUTOEDGE);
    }
    void toMtf(const std::string& slot) {
        click(mw.EDGEOK);
        ASSERT_EQ(mw.state(), CTPSFF::LsfShown) << output();
        click(mw.BASESET);
        click(mw.MTFCLC, {slot});
    }
};

TEST_F(CircularProc, DriftingRodMatchesTheSingleSliceEdge) {
    appendDriftingRod();
    showSlice(0);
    roiAroundRod(0);
    fitCentre();
    toMtf("2");

    roiAroundRod(2);
    click(mw.REDGEPRO, {"0", "0.2", "3", "3"});  // slices 2 .. 4 averaged and smoothed
    fitCentre();
    click(mw.REDGEPRO, {"1", "3"});
    roiAroundRod(17);
    click(mw.REDGEPRO, {"2", "0.2", "18", "3"});
    fitCentre();
    click(mw.REDGEPRO, {"3", "18"});
    const double endX = mw.centreX(), expectedEndX = phantomPixel(-78.0 + 0.15 * 17, kFov);
    click(mw.REDGEPRO, {"4", "1", "20"});
    toMtf("1");

    const CurveSlot &multi = mw.mtfStore().slot(1), &single = mw.mtfStore().slot(2);
    ASSERT_GE(multi.count, 12) << output();
    double worst = 0;
    const double limit = 0.8 / (2 * kFov / 512);
    for (int i = 0; i < multi.count && multi.abscissa[size_t(i)] <= limit; ++i)
        worst = std::max(worst, std::fabs(double(multi.value[size_t(i)]) - single.value[size_t(i)]));
    std::printf("drifting rod over %d slices: end centre %.2f (true %.2f), MTF within %.4f of the single slice\n",
                kSlices, endX, expectedEndX, worst);
    EXPECT_NEAR(endX, expectedEndX, 0.1);
    EXPECT_LT(worst, 0.015);
}

TEST_F(CircularProc, StepsCheckTheirAnswers) {
    appendDriftingRod();
    showSlice(0);
    roiAroundRod(0);
    struct Case {
        std::vector<std::string> answers;
        const char* message;
    };
    const Case cases[] = {
        {{"0", "0.2", "1", "3"}, "average no: slices 0 to 2 are not all in the list."},
        {{"0", "0.2", "5", "0"}, "average no: give the number of slices to average, 1 or more."},
        {{"2", "0", "5", "3"}, "Freq.: give the smoothing frequency in cycles/mm, above 0."},
        {{"1", "21"}, "From : give a slice number from 1 to 20."},
    };
    for (const Case& c : cases) {
        echo.str("");
        const std::vector<int16_t> before = store.workImage;
        // A zero frequency is refused before the slice prompts: only its answers are given.
        std::vector<std::string> answers = c.answers;
        if (answers[1] == "0") answers.resize(2);
        click(mw.REDGEPRO, answers);
        EXPECT_NE(output().find("message \"" + std::string(c.message) + "\""), std::string::npos) << output();
        EXPECT_EQ(store.workImage, before);
    }
    // An even count averages the slices it sums: 4 gives 5 slices, divided by 5.
    click(mw.REDGEPRO, {"0", "1000", "10", "4"});
    std::vector<double> mean(512 * 512, 0.0);
    std::vector<int16_t> px(512 * 512);
    for (int k = 7; k <= 11; ++k) {
        ASSERT_TRUE(readSlicePixels(store, store.slices[size_t(k)], px.data()));
        for (size_t p = 0; p < px.size(); ++p) mean[p] += px[p] / 5.0;
    }
    // At 1000 cycles/mm the smoothing passes everything.
    for (size_t p = 0; p < px.size(); p += 4099) EXPECT_NEAR(store.workImage[p], mean[p], 1.0) << p;
    // A run whose end was recorded on the start's slice with another centre.
    click(mw.REDGEPRO, {"1", "3"});
    roiAroundRod(10);
    click(mw.REDGE);
    click(mw.REDGEPRO, {"3", "3"});
    echo.str("");
    click(mw.REDGEPRO, {"4"});
    EXPECT_NE(output().find("recorded on the same slice"), std::string::npos) << output();
}

}  // namespace
}  // namespace halvex::testing
