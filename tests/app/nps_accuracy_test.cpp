// The noise power spectra against the analytic answer: white noise of SD s
// has the flat NPS s² p²; white noise blurred by a kernel g has s² p² |G|².
// Slices go through the stack file, so the slice-range run reads them back
// the way it reads program-made slices.
#include <cmath>
#include <cstdio>
#include <numbers>

#include "measurement/noise_spectrum.h"
#include "measurement_fixture.h"

namespace halvex::testing {
namespace {

constexpr double kFov = 250, kPixel = kFov / 512;
constexpr double kNoiseSd = 40;  // HU: the 1 HU steps of the stored values add 1/12 HU²

// A sampled, normalised Gaussian kernel (radius 4 sigma) and its transfer
// function at f cycles per pixel.
struct Kernel {
    explicit Kernel(double sigma) {
        const int r = sigma > 0 ? static_cast<int>(std::ceil(4 * sigma)) : 0;
        double sum = 0;
        for (int k = -r; k <= r; ++k) sum += taps.emplace_back(sigma > 0 ? std::exp(-k * k / (2 * sigma * sigma)) : 1);
        for (double& t : taps) t /= sum;
    }
    int radius() const { return static_cast<int>(taps.size()) / 2; }
    double transfer(double f) const {
        double h = 0;
        for (int k = -radius(); k <= radius(); ++k) h += taps[size_t(k + radius())] * std::cos(2 * std::numbers::pi * f * k);
        return h;
    }
    // The variance factor of a mean over `rows` rows of noise blurred along
    // the rows, relative to white noise: sum over lags of (1 - |lag| / rows)
    // times the kernel's autocorrelation.
    double rowMeanFactor(int rows) const {
        double factor = 0;
        for (int lag = -(rows - 1); lag < rows; ++lag) {
            double rho = 0;
            for (int k = 0; k < int(taps.size()); ++k)
                if (k + lag >= 0 && k + lag < int(taps.size())) rho += taps[size_t(k)] * taps[size_t(k + lag)];
            factor += (1.0 - std::abs(lag) / double(rows)) * rho;
        }
        return factor;
    }
    std::vector<double> taps;
};

class NpsAccuracy : public MeasurementTest {
protected:
    // Appends `count` slices of noise of SD kNoiseSd blurred by `kernel`
    // about 0 HU, and shows the first.
    void appendNoiseSlices(int count, const Kernel& kernel) {
        std::vector<double> hu(phantom::kSliceSize), blurred(hu.size());
        std::vector<int16_t> first;
        for (int s = 0; s < count; ++s) {
            std::fill(hu.begin(), hu.end(), 0.0);
            phantom::addNoise(hu, kNoiseSd, 11, s);
            const int r = kernel.radius();
            for (int pass = 0; pass < 2 && r > 0; ++pass) {  // rows, then columns
                for (int y = 0; y < 512; ++y)
                    for (int x = 0; x < 512; ++x) {
                        double v = 0;
                        for (int k = -r; k <= r; ++k) {
                            const int q = std::clamp((pass == 0 ? x : y) + k, 0, 511);
                            v += kernel.taps[size_t(k + r)] * hu[pass == 0 ? size_t(y) * 512 + q : size_t(q) * 512 + x];
                        }
                        blurred[size_t(y) * 512 + x] = v;
                    }
                hu.swap(blurred);
            }
            phantom::toStored(hu, 1024.0, store.workImage);
            STOREIMG(store, -1024, static_cast<float>(s), static_cast<float>(kFov));
            if (s == 0) first = store.workImage;
        }
        store.workImage = first;
        store.currentSlice = 0;
        store.workCtOffset = -1024;
        store.currentDfov = static_cast<float>(kFov);
    }
    void showSlice(int index) {
        ASSERT_TRUE(readSlicePixels(store, store.slices[size_t(index)], store.workImage.data()));
        store.currentSlice = static_cast<int16_t>(index);
    }
    // The stored NPS of slot 1 (power, not log).
    std::vector<double> slotPower() const {
        const CurveSlot& slot = mw.npsStore().slot(1);
        std::vector<double> p;
        for (int i = 0; i < slot.count; ++i) p.push_back(std::pow(10.0, slot.value[size_t(i)]));
        return p;
    }
    // "Radial NPS" of each slice in turn, averaged per bin.
    std::vector<double> radialMean(int slices) {
        std::vector<double> mean;
        for (int s = 0; s < slices; ++s) {
            showSlice(s);
            click(mw.NPSRF, {"1"});
            const std::vector<double> p = slotPower();
            mean.resize(p.size());
            for (size_t i = 0; i < p.size(); ++i) mean[i] += p[i] / slices;
        }
        return mean;
    }
    std::vector<double> slitMean(int slices) {
        click(mw.NPSVS, {"1", "1", std::to_string(slices), "1"});
        return slotPower();
    }
};

double meanFromBin3(const std::vector<double>& p) {
    double sum = 0;
    for (size_t i = 2; i < p.size(); ++i) sum += p[i];
    return sum / double(p.size() - 2);
}

// The tolerance is 2 %, or three standard errors where the slit's few
// profiles can't reach 2 %: each profile gives about one independent
// exponential sample per transform bin, the taper correlating neighbours
// (a factor of about 1.3 on the error).
TEST_F(NpsAccuracy, WhiteNoiseGivesSigmaSquaredPixelSquared) {
    constexpr int kSlices = 40;
    appendNoiseSlices(kSlices, Kernel(0));
    const double truth = kNoiseSd * kNoiseSd * kPixel * kPixel;
    for (int n : {64, 128, 256}) {
        setRoi(256 - n / 2, 256 - n / 2, n, n);
        const int profiles = kSlices * (n / 30);
        const double slitError = 1.3 / std::sqrt(profiles * (n / 2.0 - 0.06 * n));
        struct Method {
            const char* name;
            std::function<std::vector<double>()> run;
            double tolerance;
        };
        for (const Method& m : {Method{"slit, Hann", [&] { return slitMean(kSlices); }, std::max(0.02, 3 * slitError)},
                                Method{"radial, Hann", [&] { return radialMean(kSlices); }, 0.02},
                                Method{"radial, trend",
                                       [&] {
                                           click(mw.NPSWF, {"1"});
                                           auto p = radialMean(kSlices);
                                           click(mw.NPSWF, {"0"});
                                           return p;
                                       },
                                       0.02}}) {
            const std::vector<double> p = m.run();
            ASSERT_GE(p.size(), 24u) << m.name << " N " << n;
            const double ratio = meanFromBin3(p) / truth;
            std::printf("white noise, %s, N %d: %zu bins, mean from bin 3 = %.4f of s^2 p^2 (tolerance %.3f)\n", m.name,
                        n, p.size(), ratio, m.tolerance);
            EXPECT_NEAR(ratio, 1.0, m.tolerance) << m.name << " N " << n;
        }
    }
}

// Per bin for the radial spectrum (many elements per ring); the slit gives
// about 2.6 samples per bin and profile, so its bins are compared in groups
// of eight (a standard error of about 1.7 %).
TEST_F(NpsAccuracy, ColouredNoiseFollowsTheKernelsTransferFunction) {
    constexpr int kSlices = 40;
    const Kernel kernel(0.7);
    appendNoiseSlices(kSlices, kernel);
    setRoi(128, 128, 256, 256);
    const double white = kNoiseSd * kNoiseSd * kPixel * kPixel;
    // From bin 5 on (fewer elements below) while |G|² >= 0.1 (the rest is
    // too weak against the rounding of the stored values).
    auto check = [&](const char* name, const std::vector<double>& p, size_t group,
                     const std::function<double(double)>& expected) {
        double worst = 0;
        for (size_t i = 4; i + group <= p.size(); i += group) {
            double measured = 0, wanted = 0;
            for (size_t k = i; k < i + group; ++k) {
                measured += p[k];
                wanted += expected((k + 1) * 0.01);  // bin width 0.01 cycles per pixel
            }
            if (wanted < 0.1 * white * group) break;
            worst = std::max(worst, std::fabs(measured / wanted - 1));
            EXPECT_NEAR(measured / wanted, 1.0, 0.05) << name << " bin " << i + 1;
        }
        std::printf("coloured noise, %s: worst %.4f off\n", name, worst);
    };
    const double slitFactor = kernel.rowMeanFactor(30);
    check("slit, groups of 8 bins", slitMean(kSlices), 8,
          [&](double f) { return white * std::pow(kernel.transfer(f), 2) * slitFactor; });
    // The ring's elements lie at radius f in every direction: average |G(fx) G(fy)|² around it.
    check("radial", radialMean(kSlices), 1, [&](double f) {
        double sum = 0;
        for (int a = 0; a < 90; ++a) {
            const double t = (a + 0.5) * std::numbers::pi / 180;
            sum += std::pow(kernel.transfer(f * std::cos(t)) * kernel.transfer(f * std::sin(t)), 2);
        }
        return white * sum / 90;
    });
}

// The phantom's correlated noise against the closed form: white noise of SD
// s blurred by a Gaussian of sigma_n pixels whose squares sum to 1 keeps the
// SD s and has the NPS s^2 p^2 4 pi sigma_n^2 exp(-4 pi^2 sigma_n^2 (f p)^2)
// (sigma_n of 1 pixel or more, where the kernel's aliasing is negligible).
// Four 256 x 256 patches of 20 slices, from bin 3 on (the first rings hold
// few elements): the bins scatter by about 1-2 %.
TEST(PhantomNoise, CorrelatedNoiseKeepsItsSdAndHasTheGaussianNps) {
    constexpr int kSlices = 20, kPatch = 256;
    constexpr double kSigmaN = 1.5;
    const phantom::NoiseKernel kernel(kSigmaN);
    const NpsBinning binning = radialNpsBinning(kPatch, static_cast<float>(kFov));
    NpsAccumulator acc(kRadialNpsBins);
    std::vector<int16_t> stored, reference(phantom::kSliceSize);
    double squares = 0;
    for (int s = 0; s < kSlices; ++s) {
        std::vector<double> hu(phantom::kSliceSize, 0.0);
        phantom::addCorrelatedNoise(hu, kNoiseSd, kernel, 3, s);
        for (double v : hu) squares += v * v;
        phantom::toStored(hu, 1024.0, stored);
        for (int y0 : {0, kPatch})
            for (int x0 : {0, kPatch})
                accumulateRadialNps(stored.data(), -1024, x0, y0, kPatch, static_cast<float>(kPixel), binning, kNpsHann,
                                    acc, reference.data());
    }
    EXPECT_NEAR(std::sqrt(squares / (double(kSlices) * phantom::kSliceSize)) / kNoiseSd, 1.0, 0.01);

    const auto curve = npsCurve(acc, binning);
    ASSERT_TRUE(curve);
    const double a = kNoiseSd * kNoiseSd * kPixel * kPixel * 4 * std::numbers::pi * kSigmaN * kSigmaN;
    const double b = 4 * std::numbers::pi * std::numbers::pi * kSigmaN * kSigmaN * kPixel * kPixel;
    double worst = 0;
    int compared = 0;
    for (size_t i = 2; i < curve->frequency.size(); ++i) {
        const double f = curve->frequency[i], expected = a * std::exp(-b * f * f);
        if (expected < 0.05 * a) break;
        const double ratio = std::pow(10.0, curve->value[i]) / expected;
        worst = std::max(worst, std::fabs(ratio - 1));
        ++compared;
        EXPECT_NEAR(ratio, 1.0, 0.05) << "f " << f;
    }
    std::printf("correlated noise, sigma %.1f px: %d bins, worst %.4f off the Gaussian NPS\n", kSigmaN, compared, worst);
    EXPECT_GE(compared, 10);
}

}  // namespace
}  // namespace halvex::testing
