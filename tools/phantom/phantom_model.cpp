#include "phantom_model.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <random>

namespace phantom {

namespace {

// Beyond this many sigmas from an edge the blurred indicator is 0 or 1 to
// double precision (the normal tail at 8 sigma is about 6e-16).
constexpr double kReach = 8.0;
constexpr int kNodes = 64;

struct GaussLegendre {
    std::array<double, kNodes> x{}, w{};
};

// Nodes and weights on [-1, 1], by Newton's method on the Legendre polynomial.
const GaussLegendre& gaussLegendre() {
    static const GaussLegendre rule = [] {
        GaussLegendre g;
        for (int i = 0; i < kNodes; ++i) {
            double x = std::cos(std::numbers::pi * (i + 0.75) / (kNodes + 0.5));
            double dp = 1.0;
            for (int iter = 0; iter < 100; ++iter) {
                double p0 = 1.0, p1 = x;
                for (int k = 2; k <= kNodes; ++k) {
                    double pk = ((2.0 * k - 1.0) * x * p1 - (k - 1.0) * p0) / k;
                    p0 = p1;
                    p1 = pk;
                }
                dp = kNodes * (x * p1 - p0) / (x * x - 1.0);
                double dx = p1 / dp;
                x -= dx;
                if (std::abs(dx) < 1e-16) break;
            }
            g.x[i] = x;
            g.w[i] = 2.0 / ((1.0 - x * x) * dp * dp);
        }
        return g;
    }();
    return rule;
}

double normalDensity(double x) { return std::exp(-0.5 * x * x) / std::sqrt(2.0 * std::numbers::pi); }

// P(a < X < b) for a standard normal X.
double normalInterval(double a, double b) { return normalCdf(b) - normalCdf(a); }

}  // namespace

Phantom standardPhantom(double discZ, double wireX, double wireY) {
    Phantom p;
    p.rod = {-78.0, 0.0, 25.0, 300.0};
    p.block = {80.0, 0.0, 24.0, 40.0, 3.0, 100.0};
    // A 0.2 mm wire is far below the resolution, so it needs a large contrast
    // to stand out; its blurred peak stays well inside the int16 range for
    // any blur because the contrast itself does.
    p.wire = {wireX, wireY, 0.2, 30000.0};
    p.disc = {{0.0, 80.0, 28.0, 1000.0}, discZ, 0.5};
    return p;
}

std::vector<Disk> ringInserts(const std::vector<InsertSpec>& specs) {
    std::vector<Disk> inserts;
    const double n = static_cast<double>(specs.size());
    for (const InsertSpec& spec : specs) {
        const double a = (kInsertRingStartDeg + 360.0 * static_cast<double>(inserts.size()) / n) * std::numbers::pi / 180.0;
        inserts.push_back({kInsertRingRadius * std::cos(a), kInsertRingRadius * std::sin(a), spec.diameter, spec.contrast});
    }
    return inserts;
}

double normalCdf(double x) { return 0.5 * std::erfc(-x / std::numbers::sqrt2); }

double blurredDisk(double dx, double dy, double radius, double s) {
    const double r = std::hypot(dx, dy);
    if (r <= radius - kReach * s) return 1.0;
    if (r >= radius + kReach * s) return 0.0;
    // Both the disk and the Gaussian are round, so only the distance r
    // matters: put the point at (0, r) and integrate over the disk column by
    // column, the Gaussian's x factor times the part of its y factor inside
    // the chord. Seen from there the chord ends move slowly with x, and the
    // integrand is even in x. With x = R sin(t) the chord's square root
    // stays smooth also where the window reaches the disk's side (a disk
    // smaller than the blur), so Gauss-Legendre converges fast.
    const double tb = std::asin(std::min(1.0, kReach * s / radius));
    const double half = 0.5 * tb;
    const GaussLegendre& g = gaussLegendre();
    double sum = 0.0;
    for (int i = 0; i < kNodes; ++i) {
        double t = half + half * g.x[i];
        double x = radius * std::sin(t);
        double chord = radius * std::cos(t);
        double inChord = normalInterval((-chord - r) / s, (chord - r) / s);
        sum += g.w[i] * normalDensity(x / s) / s * chord * inChord;
    }
    return std::clamp(2.0 * half * sum, 0.0, 1.0);
}

double blurredBlock(const Block& b, double x, double y, double s) {
    double a = b.angleDeg * std::numbers::pi / 180.0;
    double ca = std::cos(a), sa = std::sin(a);
    double u = (x - b.cx) * ca + (y - b.cy) * sa;
    double v = -(x - b.cx) * sa + (y - b.cy) * ca;
    double hu = 0.5 * b.width, hv = 0.5 * b.height;
    if (std::abs(u) >= hu + kReach * s || std::abs(v) >= hv + kReach * s) return 0.0;
    // An isotropic Gaussian is separable along any pair of orthogonal axes.
    return normalInterval((-hu - u) / s, (hu - u) / s) * normalInterval((-hv - v) / s, (hv - v) / s);
}

double blurredSlab(double z, double slabZ, double thickness, double sz) {
    double lo = slabZ - 0.5 * thickness, hi = slabZ + 0.5 * thickness;
    return normalInterval((lo - z) / sz, (hi - z) / sz);
}

SliceSampler::SliceSampler(const Phantom& phantom, double dfov, const Blur& blur)
    : phantom_(phantom), blur_(blur), base_(kSliceSize) {
    const double p = dfov / kSide;
    const double s = blur.sigma;
    const double cylinderRadius = 0.5 * phantom.cylinderDiameter;
    const Disk& rod = phantom.rod;
    const Disk& wire = phantom.wire;
    const Disk& plate = phantom.disc.disk;
    for (int row = 0; row < kSide; ++row) {
        double y = pixelToMm(row, p);
        for (int col = 0; col < kSide; ++col) {
            double x = pixelToMm(col, p);
            double hu = kAirHu + (kWaterHu - kAirHu) * blurredDisk(x, y, cylinderRadius, s)
                        + rod.contrast * blurredDisk(x - rod.cx, y - rod.cy, 0.5 * rod.diameter, s)
                        + phantom.block.contrast * blurredBlock(phantom.block, x, y, s)
                        + wire.contrast * blurredDisk(x - wire.cx, y - wire.cy, 0.5 * wire.diameter, s);
            for (const Disk& insert : phantom.inserts)
                hu += insert.contrast * blurredDisk(x - insert.cx, y - insert.cy, 0.5 * insert.diameter, s);
            int index = row * kSide + col;
            base_[index] = hu;
            double f = blurredDisk(x - plate.cx, y - plate.cy, 0.5 * plate.diameter, s);
            if (f > 0.0) plate_.emplace_back(index, plate.contrast * f);
        }
    }
}

void SliceSampler::sliceHu(double z, std::vector<double>& hu) const {
    hu = base_;
    double along = blurredSlab(z, phantom_.disc.z, phantom_.disc.thickness, blur_.sigmaZ);
    if (along == 0.0) return;
    for (const auto& [index, value] : plate_) hu[index] += value * along;
}

namespace {

uint64_t splitmix64(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// 53 random bits as a double in [0, 1).
double unitInterval(std::mt19937_64& gen) { return static_cast<double>(gen() >> 11) * 0x1.0p-53; }

}  // namespace

void addNoise(std::vector<double>& hu, double sd, uint64_t seed, int sliceIndex) {
    if (sd <= 0.0) return;
    std::mt19937_64 gen(splitmix64(seed ^ splitmix64(static_cast<uint64_t>(sliceIndex))));
    // Box-Muller: two independent normals from two uniforms; 1 - u keeps the
    // logarithm's argument in (0, 1].
    for (size_t i = 0; i < hu.size(); i += 2) {
        double r = sd * std::sqrt(-2.0 * std::log(1.0 - unitInterval(gen)));
        double angle = 2.0 * std::numbers::pi * unitInterval(gen);
        hu[i] += r * std::cos(angle);
        if (i + 1 < hu.size()) hu[i + 1] += r * std::sin(angle);
    }
}

NoiseKernel::NoiseKernel(double sigmaPx) {
    const int r = std::max(1, static_cast<int>(std::ceil(4.0 * sigmaPx)));
    double squares = 0.0;
    for (int k = -r; k <= r; ++k) {
        const double g = std::exp(-0.5 * k * k / (sigmaPx * sigmaPx));
        taps.push_back(g);
        squares += g * g;
    }
    for (double& g : taps) g /= std::sqrt(squares);
}

double NoiseKernel::power(double u) const {
    // The taps are even, so G(u) is real: g(0) + 2 sum g(k) cos(2 pi k u).
    double g = taps[static_cast<size_t>(radius())];
    for (int k = 1; k <= radius(); ++k)
        g += 2.0 * taps[static_cast<size_t>(radius() + k)] * std::cos(2.0 * std::numbers::pi * k * u);
    return g * g;
}

void addCorrelatedNoise(std::vector<double>& hu, double sd, const NoiseKernel& kernel, uint64_t seed, int sliceIndex) {
    if (sd <= 0.0 || hu.size() != static_cast<size_t>(kSliceSize)) return;
    std::vector<double> white(hu.size(), 0.0), rows(hu.size());
    addNoise(white, 1.0, seed, sliceIndex);
    const int r = kernel.radius();
    auto wrap = [](int i) { return (i % kSide + kSide) % kSide; };
    for (int row = 0; row < kSide; ++row)
        for (int col = 0; col < kSide; ++col) {
            double v = 0.0;
            for (int k = -r; k <= r; ++k) v += kernel.taps[static_cast<size_t>(k + r)] * white[row * kSide + wrap(col + k)];
            rows[row * kSide + col] = v;
        }
    for (int row = 0; row < kSide; ++row)
        for (int col = 0; col < kSide; ++col) {
            double v = 0.0;
            for (int k = -r; k <= r; ++k) v += kernel.taps[static_cast<size_t>(k + r)] * rows[wrap(row + k) * kSide + col];
            hu[row * kSide + col] += sd * v;
        }
}

void toStored(const std::vector<double>& hu, double offset, std::vector<int16_t>& out) {
    out.resize(hu.size());
    for (size_t i = 0; i < hu.size(); ++i) {
        double v = std::round(hu[i] + offset);  // halves away from zero
        out[i] = static_cast<int16_t>(std::clamp(v, -32768.0, 32767.0));
    }
}

}  // namespace phantom
