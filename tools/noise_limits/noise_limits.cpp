// noise_limits: finds by simulation the peak-to-noise ratio (PNR) below
// which noise decides a single-slice MTF of the measurement window, and
// checks the per-bin standard error of its noise spectra. The MTFs run
// through the window's own commands (the scripted Ui answers the prompts),
// on slices of the analytic phantom plus white noise at fixed seeds, so a
// run reproduces its tables exactly. The tables and the limits taken from
// them are in docs/ARCHITECTURE.md ("When noise decides a measurement").
//
// Usage: noise_limits [SEEDS]   (SEEDS noisy slices per row, 100 by default)
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "measurement/measurement_noise.h"
#include "phantom_model.h"
#include "platform/script/script_ui.h"
#include "workspace.h"

namespace {

using namespace halvex;

constexpr double kFov = 250, kPixel = kFov / 512;
constexpr double kPsfSigma = 0.5;     // mm
// The object at the image centre: a bead on the centre of pixel (256, 256).
constexpr double kCentreMm = 0.5 * kPixel;
constexpr int kCentrePixel = 256;
// The share of a 0.5 mm bead's contrast its blurred image keeps at the centre.
const double kBeadPeak = 1 - std::exp(-0.25 * 0.25 / (2 * kPsfSigma * kPsfSigma));

// A slice that is linear in one object's contrast: the water cylinder plus
// contrast times the object's blurred image.
struct Scene {
    std::vector<double> water, object;
};

Scene makeScene(const std::function<void(phantom::Phantom&)>& placeUnitObject) {
    Scene s;
    phantom::Phantom p;
    phantom::SliceSampler(p, kFov, phantom::Blur{kPsfSigma, 1.0}).sliceHu(0, s.water);
    placeUnitObject(p);
    phantom::SliceSampler(p, kFov, phantom::Blur{kPsfSigma, 1.0}).sliceHu(0, s.object);
    for (size_t i = 0; i < s.object.size(); ++i) s.object[i] -= s.water[i];
    return s;
}

std::vector<int16_t> storedSlice(const Scene& s, double contrast, double noise, uint64_t seed) {
    std::vector<double> hu(s.water.size());
    for (size_t i = 0; i < hu.size(); ++i) hu[i] = s.water[i] + contrast * s.object[i];
    phantom::addNoise(hu, noise, seed, 0);
    std::vector<int16_t> out;
    phantom::toStored(hu, 1024.0, out);
    return out;
}

// A workspace with the measurement window open, driven as a user would.
class Window {
public:
    explicit Window(const std::string& folder) {
        if (!ws_.start(folder)) {
            std::fprintf(stderr, "noise_limits: the workspace could not start in %s\n", folder.c_str());
            std::exit(1);
        }
        ws_.main.SHOWMW.click();
    }
    CTPSFF& mw() { return ws_.measurement; }

    void show(std::vector<int16_t> pixels) {
        ImageStore& store = ws_.store;
        store.workImage = std::move(pixels);
        store.sliceCount = 1;
        store.currentSlice = 0;
        store.slices[0].dfov = static_cast<float>(kFov);
        store.slices[0].kernel = "SIM";
        store.workCtOffset = -1024;
        store.currentDfov = static_cast<float>(kFov);
        store.pixelSize = store.currentDfov / 512.0f;
    }
    void roi(int left, int top, int width, int height) {
        ws_.main.placeRoi(int16_t(left), int16_t(top), int16_t(width), int16_t(height));
    }
    // Answers are queued only for prompts the command reaches, so that none
    // is left over for the next one.
    void click(Button& button, const std::vector<std::string>& answers = {}) {
        for (const std::string& a : answers) ui_.queueAnswer(a);
        button.click();
        echo_.str("");
    }
    bool in(int16_t state) { return mw().state() == state; }

private:
    std::ostringstream echo_;
    ScriptUi ui_{echo_};
    Workspace ws_{ui_};
};

// One measurement: the stored curve, its PNR, and the size of what the
// transform took (the LSF's nonzero samples, or the 2D-FFT radius).
struct Measured {
    std::vector<double> f, v;
    double pnr = 0, size = 0;
    double excess = 0;  // the largest value above 1 before the curve falls below 0.5
};

// Stores the MTF of the LSF on show: the baseline at its first estimate,
// the tails zeroed `zero` samples either side of the centre (0: not zeroed).
bool lsfToMtf(Window& w, int zero) {
    if (!w.in(CTPSFF::LsfShown)) return false;
    w.click(w.mw().BASESET);
    const int c = w.mw().lsfCentre();
    if (zero > 0) {
        w.mw().windowMouseDown(1, float(c - zero), 0);
        w.mw().windowMouseDown(1, float(c + zero), 0);
    }
    if (!w.in(CTPSFF::Zeroing)) return false;
    w.click(w.mw().MTFCLC, {"1"});
    return w.in(CTPSFF::MtfGraph);
}

std::optional<Measured> result(Window& w, double size) {
    if (!w.in(CTPSFF::MtfGraph) || !w.mw().peakToNoise()) return std::nullopt;
    const CurveSlot& slot = w.mw().mtfStore().slot(w.mw().dataNumber());
    Measured m;
    m.f.assign(slot.abscissa.begin(), slot.abscissa.begin() + slot.count);
    m.v.assign(slot.value.begin(), slot.value.begin() + slot.count);
    m.pnr = *w.mw().peakToNoise();
    m.size = size > 0 ? size : double(lsfSpan(w.mw().lsf()));
    m.excess = -1;
    for (size_t i = 1; i < m.v.size() && m.v[i] >= 0.5; ++i) m.excess = std::max(m.excess, m.v[i] - 1);
    return m;
}

// A method and one of its settings: the zero distance of an LSF method (in
// its samples, 0 for none) or the 2D-FFT radius.
struct Method {
    std::string name;
    const Scene* scene;
    double peakPerContrast;  // the object's peak (or edge step) per unit of contrast
    std::vector<int> settings;
    bool radius;  // the setting is the 2D-FFT radius
    std::function<bool(Window&, int)> measure;
};

// The block's left edge runs near column 194, the rod's edge 25.6 pixels
// from its centre, the bead sits on pixel (256, 256).
std::vector<Method> methods(const Scene& block, const Scene& rod, const Scene& bead) {
    return {
        {"Linear edge (ROI 64 x 40)", &block, 1, {24, 48, 0}, false,
         [](Window& w, int zero) {
             w.roi(162, 236, 64, 40);
             w.click(w.mw().EDGE);
             w.click(w.mw().AUTOEDGE);
             w.click(w.mw().EDGEOK);
             return lsfToMtf(w, zero);
         }},
        {"Circular edge (ROI 40 x 40)", &rod, 1, {24, 48, 0}, false,
         [](Window& w, int zero) {
             w.roi(236, 236, 40, 40);
             w.click(w.mw().REDGE);
             w.click(w.mw().AUTOEDGE);
             w.click(w.mw().EDGEOK);
             return lsfToMtf(w, zero);
         }},
        {"Virtual slit X (h 40)", &bead, kBeadPeak, {8, 16, 32, 0}, false,
         [](Window& w, int zero) {
             w.roi(236, 236, 40, 40);
             w.click(w.mw().VSLIT, {"0", "250", "40"});
             return lsfToMtf(w, zero);
         }},
        {"Radial (h 40)", &bead, kBeadPeak, {8, 16, 32, 0}, false,
         [](Window& w, int zero) {
             w.roi(236, 236, 40, 40);
             w.click(w.mw().RADIAL, {"250", "40"});
             return lsfToMtf(w, zero);
         }},
        // The radius is the peak's mean distance from the ROI's left and
        // top; the background, FOV and slot prompts keep their defaults.
        {"2D FFT", &bead, kBeadPeak, {20, 30, 40, 60}, true,
         [](Window& w, int r) {
             w.roi(kCentrePixel - r, kCentrePixel - r, 2 * r, 2 * r);
             w.click(w.mw().FFT2DMTF);
             return true;
         }},
    };
}

double at(const std::vector<double>& f, const std::vector<double>& v, double x) {
    for (size_t i = 1; i < f.size(); ++i)
        if (f[i] >= x) return v[i - 1] + (v[i] - v[i - 1]) * (x - f[i - 1]) / (f[i] - f[i - 1]);
    return v.empty() ? 0 : v.back();
}

double halfFrequency(const Measured& m) {
    for (size_t i = 1; i < m.v.size(); ++i)
        if (m.v[i] < 0.5) return m.f[i - 1] + (m.f[i] - m.f[i - 1]) * (m.v[i - 1] - 0.5) / (m.v[i - 1] - m.v[i]);
    return m.f.empty() ? 0 : m.f.back();
}

double percentile(std::vector<double> v, double q) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[std::min(v.size() - 1, size_t(q * double(v.size())))];
}

struct Row {
    double cnr, noise, pnr, rms, p95, excess;
    int failed;
};

// The PNR where the 95th percentile of the error falls through the limit,
// interpolated log-log between the rows around it (sorted by PNR),
// searched from the highest PNR down. The percentile, not the RMS: a few
// runs in a hundred break down completely near the limit (a centre or a
// peak found on noise), and the RMS follows them.
std::optional<double> crossing(std::vector<Row> rows) {
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.pnr < b.pnr; });
    for (size_t i = rows.size(); i-- > 1;) {
        const Row &lo = rows[i - 1], &hi = rows[i];
        if (lo.p95 > kMtfScatterLimit && hi.p95 <= kMtfScatterLimit) {
            const double t = (std::log(kMtfScatterLimit) - std::log(lo.p95)) / (std::log(hi.p95) - std::log(lo.p95));
            return std::exp(std::log(lo.pnr) + t * (std::log(hi.pnr) - std::log(lo.pnr)));
        }
    }
    return std::nullopt;
}

// limit = a size^b through the (size, limit) points, least squares in logs.
std::pair<double, double> powerLaw(const std::vector<std::pair<double, double>>& points) {
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    const double n = double(points.size());
    for (const auto& [size, limit] : points) {
        const double x = std::log(size), y = std::log(limit);
        sx += x, sy += y, sxx += x * x, sxy += x * y;
    }
    const double b = n > 1 ? (n * sxy - sx * sy) / (n * sxx - sx * sx) : 0;
    return {std::exp((sy - b * sx) / n), b};
}

void mtfTables(Window& w, int seeds) {
    // Contrast over noise of the edge step or of the bead's peak, at a
    // noise of 10 HU (less for the highest ratios, which the 16-bit values
    // would not hold), and a few at 25 HU to show that the ratio decides.
    struct Level {
        double cnr, noise;
    };
    std::vector<Level> levels;
    for (double cnr = 2; cnr <= 2048; cnr *= 2) levels.push_back({cnr, 10});
    levels.push_back({4096, 5});
    levels.push_back({8192, 2.5});
    for (double cnr : {8.0, 32.0, 128.0}) levels.push_back({cnr, 25});

    const auto block = makeScene([](phantom::Phantom& p) { p.block = {0.0, 0.0, 60.0, 100.0, 3.0, 1.0}; });
    const auto rod = makeScene([](phantom::Phantom& p) { p.rod = {0.0, 0.0, 25.0, 1.0}; });
    const auto bead = makeScene([](phantom::Phantom& p) { p.wire = {kCentreMm, kCentreMm, 0.5, 1.0}; });
    std::vector<std::string> summary;
    for (const Method& m : methods(block, rod, bead)) {
        std::vector<std::pair<double, double>> limits;
        for (const int setting : m.settings) {
            const std::string name =
                m.name + (m.radius ? ", R " : ", zeroed at +-") + std::to_string(setting) + (m.radius || setting ? "" : " (none)");
            // The truth: the same method on the noise-free slice of a high contrast.
            w.show(storedSlice(*m.scene, 2000 / m.peakPerContrast, 0, 0));
            const std::optional<Measured> truth = m.measure(w, setting) ? result(w, m.radius ? setting : 0) : std::nullopt;
            if (!truth) {
                std::printf("%s: no noise-free result\n", name.c_str());
                continue;
            }
            const double f50 = halfFrequency(*truth), t50 = at(truth->f, truth->v, f50);
            std::printf("\n%s: MTF50 at %.3f cycles/mm\n", name.c_str(), f50);
            std::printf("| CNR | noise HU | median PNR | RMS error | 95th pct. | above 1 by (95th pct.) | refused |\n");
            std::printf("|---:|---:|---:|---:|---:|---:|---:|\n");
            std::vector<Row> rows;
            std::vector<double> sizes;
            for (const Level& level : levels) {
                const double contrast = level.cnr * level.noise / m.peakPerContrast;
                std::vector<double> errors, pnrs, excess;
                int failed = 0;
                for (int s = 0; s < seeds; ++s) {
                    w.show(storedSlice(*m.scene, contrast, level.noise, uint64_t(1000 + s)));
                    const std::optional<Measured> r =
                        m.measure(w, setting) ? result(w, m.radius ? setting : 0) : std::nullopt;
                    if (!r) {
                        ++failed;
                        continue;
                    }
                    errors.push_back(std::fabs(at(r->f, r->v, f50) - t50));
                    pnrs.push_back(r->pnr);
                    sizes.push_back(r->size);
                    excess.push_back(r->excess);
                }
                if (errors.empty()) continue;
                double squares = 0;
                for (double e : errors) squares += e * e;
                const Row row{level.cnr,
                              level.noise,
                              percentile(pnrs, 0.5),
                              std::sqrt(squares / double(errors.size())),
                              percentile(errors, 0.95),
                              percentile(excess, 0.95),
                              failed};
                rows.push_back(row);
                std::printf("| %.0f | %g | %.1f | %.4f | %.4f | %+.4f | %d |\n", row.cnr, row.noise, row.pnr,
                            row.rms, row.p95, row.excess, row.failed);
            }
            const double size = percentile(sizes, 0.5);
            const std::optional<double> limit = crossing(rows);
            char line[200];
            if (limit) {
                limits.push_back({size, *limit});
                std::snprintf(line, sizeof line, "| %s | %.0f | %.1f |", name.c_str(), size, *limit);
            } else {
                std::snprintf(line, sizeof line, "| %s | %.0f | not crossed |", name.c_str(), size);
            }
            summary.push_back(line);
            std::fflush(stdout);
        }
        const auto [a, b] = powerLaw(limits);
        summary.push_back("| " + m.name + ": limit = " + std::to_string(a) + " size^" + std::to_string(b) + " | | |");
    }
    std::printf("\nPNR at which the 95th percentile of the error at MTF50 reaches %.2f (size: the LSF's span, or the "
                "radius)\n",
                kMtfScatterLimit);
    std::printf("| method | size | PNR limit |\n|---|---:|---:|\n");
    for (const std::string& line : summary) std::printf("%s\n", line.c_str());
}

// Per method, taper and ROI width: the relative SD of every bin's power over
// the seeds, against 1 / sqrt(count) of independent samples. Their squared
// ratio is how many counted samples one independent sample is worth.
void npsTable(int seeds) {
    const Scene water = makeScene([](phantom::Phantom&) {});
    constexpr double kNoise = 20;
    std::printf("\nNPS: white noise of SD %.0f HU, %d slices per row\n", kNoise, seeds);
    std::printf("| method | taper | N | samples per bin | worth (median) | worth (largest) | worst bin SE, measured | "
                "predicted |\n");
    std::printf("|---|---|---:|---:|---:|---:|---:|---:|\n");
    std::vector<int16_t> reference(kSlicePixels);
    for (const bool radial : {false, true})
        for (const NpsWindow window : {kNpsHann, kNpsTrend})
            for (const int n : {64, 128, 256}) {
                const NpsBinning binning = radial ? radialNpsBinning(n, float(kFov)) : slitNpsBinning(n, float(kFov), 48);
                const int x0 = 256 - n / 2, y0 = 256 - n / 2;
                std::vector<std::vector<double>> power(size_t(binning.bins) + 1);
                NpsAccumulator counts(1);
                for (int s = 0; s < seeds; ++s) {
                    const std::vector<int16_t> slice = storedSlice(water, 0, kNoise, uint64_t(5000 + s));
                    NpsAccumulator acc(radial ? kRadialNpsBins : kSlitNpsBins);
                    if (radial)
                        accumulateRadialNps(slice.data(), -1024, x0, y0, n, float(kPixel), binning, window, acc,
                                            reference.data());
                    else
                        accumulateSlitNps(slice.data(), -1024, x0, y0, n, float(kPixel), binning, window, acc);
                    for (int k = 1; k <= binning.bins; ++k)
                        power[size_t(k)].push_back(acc.sum[size_t(k)] / acc.count[size_t(k)]);
                    counts = acc;
                }
                std::vector<double> worth;
                int fewest = 1 << 30, most = 0;
                double worstMeasured = 0;
                for (int k = 1; k <= binning.bins; ++k) {
                    const std::vector<double>& p = power[size_t(k)];
                    double mean = 0, squares = 0;
                    for (double v : p) mean += v;
                    mean /= double(p.size());
                    for (double v : p) squares += (v - mean) * (v - mean);
                    const double relative = std::sqrt(squares / double(p.size() - 1)) / mean;
                    const int count = counts.count[size_t(k)];
                    worth.push_back(relative * relative * count);
                    fewest = std::min(fewest, count), most = std::max(most, count);
                    worstMeasured = std::max(worstMeasured, relative);
                }
                const double predicted = npsRelativeError(counts, binning, npsSampleWorth(radial, window));
                std::printf("| %s | %s | %d | %d .. %d | %.2f | %.2f | %.1f %% | %.1f %% |\n",
                            radial ? "Radial" : "Virtual Slit", window == kNpsHann ? "Hann" : "trend", n, fewest, most,
                            percentile(worth, 0.5), percentile(worth, 1.0), 100 * worstMeasured, 100 * predicted);
            }
}

}  // namespace

int main(int argc, char** argv) {
    const int seeds = argc > 1 ? std::max(std::atoi(argv[1]), 10) : 100;
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("halvex-noise-limits-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    {
        Window w(folder.string());
        std::printf("Single-slice MTFs: FOV %.0f mm, PSF sigma %.1f mm, %d seeds per row; error = |MTF - truth| at "
                    "the truth's 50 %% frequency\n",
                    kFov, kPsfSigma, seeds);
        mtfTables(w, seeds);
        npsTable(std::max(seeds, 200));
    }
    std::filesystem::remove_all(folder);
    return 0;
}
