// The ROI result and the CT value / SD tool against a direct computation in
// double precision, on a ROI whose SD is high: summed in single precision,
// the SD of such a ROI came out 0.03 HU off and its mean 0.006 HU.
#include <cmath>
#include <functional>
#include <random>

#include "measurement_fixture.h"
#include "platform/number_text.h"
#include "workspace/roi_measure.h"

namespace halvex::testing {
namespace {

// The number after "key<TAB>" in a clipboard text; NaN when it is missing.
double valueAfter(const std::string& text, const std::string& key) {
    const size_t at = text.find(key + "\t");
    return at == std::string::npos ? std::nan("") : leadingNumber(text.substr(at + key.size() + 1));
}

TEST_F(MeasurementTest, MeanAndSdOfAHighSdRoiAsADirectDoubleComputation) {
    // CT values of mean 60 and SD 290 (stored + 1024) on a 129 x 129 ROI.
    std::mt19937 rng(11);
    std::normal_distribution<double> ct(60.0, 290.0);
    for (int16_t& v : store.workImage) v = static_cast<int16_t>(std::lround(ct(rng)) + 1024);
    constexpr int kLeft = 191, kTop = 185, kSide = 129;
    double sum = 0, squares = 0;
    for (int r = kTop; r < kTop + kSide; ++r)
        for (int c = kLeft; c < kLeft + kSide; ++c) sum += store.workImage[size_t(r) * 512 + c];
    const double n = kSide * kSide, mean = sum / n;
    for (int r = kTop; r < kTop + kSide; ++r)
        for (int c = kLeft; c < kLeft + kSide; ++c) squares += std::pow(store.workImage[size_t(r) * 512 + c] - mean, 2);
    const double sd = std::sqrt(squares / n);
    ASSERT_NEAR(sd, 290, 5);

    store.slices[0].kernel = "FC13";
    STOREIMG(store, -1024, 0.0f, 250.0f);  // the CT value / SD tool reads its slices from the list
    setRoi(kLeft, kTop, kSide - 1, kSide - 1);  // both ends included

    struct Tool {
        const char* name;
        std::function<std::pair<double, double>()> meanAndSd;  // CT value, SD
        double resolution;                                    // of what it reports
    };
    const Tool tools[] = {
        {"ROI result",
         [&] {
             const RoiStats s = measureRoi(store.workImage.data(), kLeft, kTop, kSide - 1, kSide - 1, -1024);
             return std::pair{s.mean - 1024, s.sd};
         },
         1e-9},
        {"CT value / SD tool",
         [&] {
             click(mw.SDCLC, {"1", "1"});
             return std::pair{valueAfter(ui.clipboardText(), "Ave."), valueAfter(ui.clipboardText(), "SD ave.")};
         },
         0.0005},
    };
    for (const Tool& tool : tools) {
        const auto [m, s] = tool.meanAndSd();
        EXPECT_NEAR(m, mean - 1024, tool.resolution) << tool.name;
        EXPECT_NEAR(s, sd, tool.resolution) << tool.name;
    }
}

}  // namespace
}  // namespace halvex::testing
