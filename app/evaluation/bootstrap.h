// Resampling with replacement for the evaluation's intervals: which units
// (slices, or sectors and ROIs of a single slice) each replicate draws, and
// the 95 % interval of the replicates' values.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace halvex {

// The draws of one replicate as weights: how often each of `units` units is
// drawn in a sample of `units` with replacement. The stream depends only on
// the seed and the order of the calls, on every platform.
class BootstrapDraws {
public:
    explicit BootstrapDraws(uint64_t seed);
    std::vector<int> weights(int units);
    // A standard normal value (for replicates that draw new noise).
    double normal();

private:
    uint64_t next();
    uint64_t state_;
};

// The 2.5th and 97.5th percentiles of the values (linear interpolation
// between order statistics); nothing for an empty set.
std::optional<std::pair<double, double>> percentileInterval(std::vector<double> values);

}  // namespace halvex
