#include "evaluation/bootstrap.h"

#include <algorithm>
#include <cmath>

namespace halvex {

BootstrapDraws::BootstrapDraws(uint64_t seed) : state_(seed) {}

// SplitMix64: a small generator whose sequence is fixed by its definition
// (the standard library's distributions are not, from one library to the next).
uint64_t BootstrapDraws::next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::vector<int> BootstrapDraws::weights(int units) {
    std::vector<int> w(static_cast<size_t>(std::max(units, 0)), 0);
    if (units <= 0) return w;
    const uint64_t n = static_cast<uint64_t>(units);
    // Draws above the largest multiple of n are thrown away, so that every
    // unit is equally likely.
    const uint64_t limit = UINT64_MAX - UINT64_MAX % n;
    for (int i = 0; i < units; ++i) {
        uint64_t r;
        do r = next();
        while (r >= limit);
        ++w[static_cast<size_t>(r % n)];
    }
    return w;
}

double BootstrapDraws::normal() {
    // Box-Muller from two uniform values in (0, 1).
    const double u1 = (static_cast<double>(next() >> 11) + 0.5) / 9007199254740992.0;
    const double u2 = (static_cast<double>(next() >> 11) + 0.5) / 9007199254740992.0;
    return std::sqrt(-2 * std::log(u1)) * std::cos(2 * 3.141592653589793 * u2);
}

std::optional<std::pair<double, double>> percentileInterval(std::vector<double> values) {
    if (values.empty()) return std::nullopt;
    std::sort(values.begin(), values.end());
    auto at = [&](double p) {
        const double position = p * static_cast<double>(values.size() - 1);
        const size_t below = static_cast<size_t>(std::floor(position));
        const size_t above = std::min(below + 1, values.size() - 1);
        return values[below] + (values[above] - values[below]) * (position - static_cast<double>(below));
    };
    return std::pair{at(0.025), at(0.975)};
}

}  // namespace halvex
