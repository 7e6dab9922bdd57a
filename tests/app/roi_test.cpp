#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "app_fixture.h"
#include "workspace/roi_measure.h"

namespace halvex::testing {
namespace {

TEST(MeasureRoi, IncludesBothEndsAndUsesThePopulationSd) {
    std::vector<int16_t> image(kSlicePixels, 0);
    // Columns alternate 0 / 2 inside the ROI: mean 1, SD 1 exactly when the
    // count is even; 51 columns (0..50) give 26 zeros and 25 twos.
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) image[y * 512 + x] = static_cast<int16_t>(x % 2 ? 2 : 0);
    RoiStats s = measureRoi(image.data(), 0, 0, 50, 50, 0);
    EXPECT_EQ(s.pixelCount, 51 * 51);
    const double mean = 25.0 * 2 / 51;
    EXPECT_NEAR(s.mean, mean, 1e-5);
    EXPECT_NEAR(s.sd, std::sqrt((26 * mean * mean + 25 * (2 - mean) * (2 - mean)) / 51), 1e-5);
    EXPECT_EQ(s.minCt, 0);
    EXPECT_EQ(s.maxCt, 2);
    EXPECT_EQ(s.centreStored, 2);  // column 25 is odd
}

TEST(MeasureRoi, ClipsToTheImageAndNeverReadsOutside) {
    std::vector<int16_t> image(kSlicePixels, 7);
    RoiStats s = measureRoi(image.data(), 400, 500, 256, 256, 0);  // reaches past 511
    EXPECT_EQ(s.pixelCount, 112 * 12);
    EXPECT_FLOAT_EQ(s.mean, 7);
    EXPECT_EQ(measureRoi(image.data(), 600, 0, 10, 10, 0).pixelCount, 0);
    EXPECT_EQ(measureRoi(image.data(), -30, -30, 10, 10, 0).pixelCount, 0);
    EXPECT_EQ(measureRoi(image.data(), -5, -5, 10, 10, 0).pixelCount, 36);
}

TEST_F(WorkspaceTest, RoiOnAUniformSliceReportsCaptionClipboardAndText) {
    start();
    appendSlices(1, 1000);
    int16_t index = 0;
    win.IMGDSP(index);
    win.ROICLC();
    EXPECT_EQ(win.caption(), "Ave=-24.00 Center=-24 max=-24 mini=-24 SD=0.00 50x 50pixels 240 240");
    EXPECT_EQ(ui.clipboardText(), "-24.00\t0.00");
    EXPECT_EQ(win.roiResultText(), "ave -24.00 sd 0.00");
    EXPECT_EQ(win.PIC1.printed().back().y, 496);
}

TEST_F(WorkspaceTest, RoiButtonsSetCentredSquaresAndTheTransformLength) {
    start();
    win.ROIS.click(0);
    EXPECT_EQ(store.fftSize, 256);
    EXPECT_EQ(store.roiLeft, 128);
    EXPECT_EQ(store.roiWidth, 256);
    EXPECT_EQ(win.SH1.width(), 256);
    win.ROIS.click(2);
    EXPECT_EQ(store.roiLeft, 224);
    EXPECT_EQ(store.fftSize, 64);
}

TEST_F(WorkspaceTest, PagingMeasuresOnlyRoisUpTo128) {
    start();
    appendSlices(3, 1000);
    win.HS1.setValue(1);
    EXPECT_EQ(win.roiResultText(), "ave -23.00 sd 0.00");
    store.roiWidth = 129;
    store.roiHeight = 129;
    win.HS1.setValue(2);
    EXPECT_EQ(win.roiResultText(), "ave -23.00 sd 0.00");
    store.roiWidth = store.roiHeight = 128;
    win.HS1.setValue(0);
    EXPECT_EQ(win.roiResultText(), "ave -24.00 sd 0.00");
}

}  // namespace
}  // namespace halvex::testing
