// The slice and temporal sensitivity profiles against the analytic answer
// (a thin disc blurred along z by a Gaussian of sigma_z has FWHM 2.3548
// sigma_z and FWTM 4.2919 sigma_z, and the z-MTF exp(-2 pi^2 sigma_z^2 f^2)),
// their refusals, and the ROI's CT value, SD and line profile against a
// direct computation.
#include <cmath>
#include <cstdio>
#include <numbers>

#include "measurement_fixture.h"
#include "platform/number_text.h"

namespace halvex::testing {
namespace {

constexpr double kFov = 250;

class ProfileTest : public MeasurementTest {
protected:
    // Slices at z = k dz, k = -half .. half, of a 0.05 mm disc (28 mm across,
    // centred 80 mm below the middle) blurred along z by sigmaZ; shows the
    // first. Returns the ROI inside the disc.
    void appendDiscSlices(double sigmaZ, double dz, int half, double noise = 0) {
        phantom::Phantom object;
        object.disc = {{0.0, 80.0, 28.0, 20000.0}, 0.0, 0.05};
        phantom::SliceSampler sampler(object, kFov, phantom::Blur{0.4, sigmaZ});
        std::vector<double> hu;
        for (int k = -half; k <= half; ++k) {
            sampler.sliceHu(k * dz, hu);
            phantom::addNoise(hu, noise, 3, k + half);
            phantom::toStored(hu, 1024.0, store.workImage);
            STOREIMG(store, -1024, static_cast<float>(k * dz), static_cast<float>(kFov));
            SliceInfo& e = store.slices[size_t(store.sliceCount - 1)];
            e.thickness = 1.0f;
            e.rotationTime = 0.5f;
        }
        ASSERT_TRUE(readSlicePixels(store, store.slices[0], store.workImage.data()));
        store.currentSlice = 0;
        store.workCtOffset = -1024;
        store.currentDfov = static_cast<float>(kFov);
        const int row = static_cast<int>(phantomPixel(80.0, kFov)), col = 256;
        setRoi(col - 10, row - 10, 20, 20);
    }
    // Measures slices 1 .. `slices` into `slot`; an empty slot answers only
    // the range (for runs refused before the scan prompts).
    void measure(Button& command, int slices, const std::string& slot = "1") {
        std::vector<std::string> answers = {"1", std::to_string(slices)};
        if (slot.empty()) return click(command, answers);
        if (&command == &mw.TSPMES) {
            for (const char* a : {"0.625", "64", "0.5", "0.8"}) answers.push_back(a);
            ui.queueReply(Reply::Yes);
        }
        answers.push_back(slot);
        click(command, answers);
    }
};

TEST_F(ProfileTest, SspWidthsZMtfAndTspScaling) {
    struct Case {
        double sigmaZ, dz;
    };
    for (const Case c : {Case{1.0, 0.5}, Case{2.0, 0.5}, Case{1.2, 0.3}}) {
        SCOPED_TRACE(c.sigmaZ);
        store.sliceCount = 0;
        mw.Form_Load();
        const int half = static_cast<int>(std::ceil(4.5 * c.sigmaZ / c.dz)), slices = 2 * half + 1;
        appendDiscSlices(c.sigmaZ, c.dz, half);
        measure(mw.SSPMES, slices);
        const ProfileSlot& ssp = mw.profileSlot(1);
        ASSERT_EQ(ssp.ssp.count, slices) << output();
        const double fwhm = ssp.fwhm / (2.3548 * c.sigmaZ), fwtm = ssp.fwtm / (4.2919 * c.sigmaZ);
        EXPECT_NEAR(fwhm, 1.0, 0.025);
        EXPECT_NEAR(fwtm, 1.0, 0.025);
        EXPECT_EQ(ssp.label, "1.0");

        click(mw.ZMTFP);
        ASSERT_EQ(mw.state(), CTPSFF::LsfShown);
        click(mw.BASESET);
        click(mw.MTFCLC, {"1"});
        const CurveSlot& mtf = mw.mtfStore().slot(1);
        EXPECT_EQ(mtf.label, "thick 1.0");
        double worst = 0;
        for (int i = 0; i < mtf.count && mtf.abscissa[size_t(i)] <= 1 / (4 * c.dz); ++i) {
            const double f = mtf.abscissa[size_t(i)];
            worst = std::max(worst, std::fabs(mtf.value[size_t(i)] -
                                              std::exp(-2 * std::numbers::pi * std::numbers::pi * c.sigmaZ * c.sigmaZ * f * f)));
        }
        EXPECT_LT(worst, 0.02);
        // The slices' field of view is not touched by the z step.
        EXPECT_FLOAT_EQ(store.currentDfov, static_cast<float>(kFov));

        // TSP: dt = dz / (0.8 x 64 x 0.625) x 0.5.
        measure(mw.TSPMES, slices, "2");
        const ProfileSlot& tsp = mw.profileSlot(2);
        const double scale = 0.5 / (0.8 * 64 * 0.625);
        EXPECT_NEAR(tsp.fwhm / (ssp.fwhm * scale), 1.0, 1e-4);
        EXPECT_NEAR(tsp.fwtm / (ssp.fwtm * scale), 1.0, 1e-4);
        EXPECT_EQ(tsp.label, "0.50");
        std::printf("SSP sigma_z %.1f mm, dz %.1f mm: FWHM %.4f (%.4f of 2.3548 s), FWTM %.4f (%.4f of 4.2919 s), "
                    "z-MTF worst %.4f up to 1/(4 dz)\n",
                    c.sigmaZ, c.dz, ssp.fwhm, fwhm, ssp.fwtm, fwtm, worst);
    }
}

TEST_F(ProfileTest, RefusalsAndSlotRules) {
    click(mw.ZMTFP);
    EXPECT_NE(output().find("message \"No SSP measured yet: run SSP first.\""), std::string::npos);
    appendDiscSlices(1.0, 0.5, 5);  // 11 slices: just enough
    click(mw.SSPMES, {"2", "11"});
    EXPECT_EQ(mw.caption(), "Image number error");
    measure(mw.SSPMES, 11, "0");
    EXPECT_EQ(mw.profileDataNumber(), 1);
    EXPECT_EQ(mw.profileSlot(1).ssp.count, 11);
    measure(mw.SSPMES, 11, "5");
    EXPECT_EQ(mw.profileDataNumber(), 2);
    const std::string clip = ui.clipboardText();
    EXPECT_EQ(clip.substr(0, 16), "Thickness\t1.00\r\n");
    EXPECT_NE(clip.find("FWHM \t"), std::string::npos);
    click(mw.SSPCLIP, {"9"});
    EXPECT_NE(output().find("message \"no data!\""), std::string::npos);
    click(mw.SSPCOMP, {"1,2"});
    EXPECT_EQ(mw.caption().substr(0, 5), "FWHM=");

    // Unequal spacing at the ends, and ends that differ.
    store.slices[10].position += 0.1f;
    echo.str("");
    measure(mw.SSPMES, 11, "");
    EXPECT_NE(output().find("message \"wrong data!\""), std::string::npos) << output();
    store.slices[10].position -= 0.1f;
    for (int i = 9; i <= 10; ++i) {
        ASSERT_TRUE(readSlicePixels(store, store.slices[size_t(i)], store.workImage.data()));
        for (int16_t& v : store.workImage) v = static_cast<int16_t>(v + 100);
        STOREIMG(store, -1024, store.slices[size_t(i)].position, static_cast<float>(kFov));
        store.slices[size_t(i)] = store.slices[size_t(store.sliceCount - 1)];
    }
    // The ring around the ROI rises with it: only the TSP (no background) sees it.
    measure(mw.SSPMES, 11);
    echo.str("");
    measure(mw.TSPMES, 11, "");
    EXPECT_NE(output().find("message \"wrong data !\""), std::string::npos) << output();
}

TEST_F(ProfileTest, CtValueSdAndProfileAgreeWithADirectComputation) {
    appendDiscSlices(1.0, 0.5, 3, 12.0);
    const int x0 = 100, y0 = 120, dx = 15, dy = 9;
    setRoi(x0, y0, dx, dy);
    click(mw.SDCLC, {"2", "5"});
    std::string expected;
    double sdSum = 0, meanSum = 0;
    std::vector<double> means;
    for (int i = 1; i <= 4; ++i) {
        std::vector<int16_t> px(512 * 512);
        ASSERT_TRUE(readSlicePixels(store, store.slices[size_t(i)], px.data()));
        double sum = 0, sq = 0;
        const int n = (dx + 1) * (dy + 1);
        for (int r = y0; r <= y0 + dy; ++r)
            for (int c = x0; c <= x0 + dx; ++c) sum += px[size_t(r) * 512 + c];
        const double m = sum / n;
        for (int r = y0; r <= y0 + dy; ++r)
            for (int c = x0; c <= x0 + dx; ++c) sq += (px[size_t(r) * 512 + c] - m) * (px[size_t(r) * 512 + c] - m);
        const double s = std::sqrt(sq / n);
        sdSum += s, meanSum += m;
        means.push_back(m);
        expected += formatFixed(store.slices[size_t(i)].position, "0.000") + "\t" + formatFixed(m - 1024, "0.000") +
                    "\t" + formatFixed(s, "0.000") + "\r\n";
    }
    expected += "SD ave.\t" + formatFixed(sdSum / 4, "0.000") + "\r\nAve.\t" + formatFixed(meanSum / 4 - 1024, "0.000") + "\r\n";
    EXPECT_EQ(ui.clipboardText(), expected);
    EXPECT_EQ(mw.caption(), "Average SD= " + formatFixed(sdSum / 4, "0.000") + " Ave.= " + formatFixed(meanSum / 4 - 1024, "0.000"));
    // One slice: its line and an average equal to it.
    click(mw.CTVAL, {"2", "2"});
    const std::string value = formatFixed(means[0] - 1024, "0.000");
    EXPECT_EQ(ui.clipboardText(), formatFixed(store.slices[1].position, "0.000") + "\t" + value + "\r\nave.\t" + value + "\r\n");
    EXPECT_EQ(mw.caption(), "Ave=" + value);

    // The profile runs across (dx >= dy): dx columns, each the mean of dy rows.
    click(mw.PROFMES, {"1"});
    ASSERT_EQ(mw.regionProfile().size(), size_t(dx));
    for (int k = 0; k < dx; ++k) {
        double sum = 0;
        for (int r = y0; r < y0 + dy; ++r) sum += store.workImage[size_t(r) * 512 + x0 + k] - 1024;
        EXPECT_FLOAT_EQ(mw.regionProfile()[size_t(k)], static_cast<float>(sum / dy)) << k;
    }
    EXPECT_EQ(mw.caption().substr(0, 14), "15 points Max=");
    setRoi(x0, y0, 0, 9);
    click(mw.PROFMES, {"1"});
    EXPECT_NE(output().find("message \"Profile: the ROI must be at least 2 pixels wide and high.\""), std::string::npos);
}

}  // namespace
}  // namespace halvex::testing
