// The numeric steps of the noise power spectrum, as free functions over plain
// arrays: 1D spectra of 30-row slit profiles ("Virtual Slit") and the 2D
// spectrum of a square patch averaged over rings ("Radial NPS"), both summed
// into radial frequency bins and reduced to log10 values per bin.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "measurement/edge_mtf.h"

namespace halvex {

inline constexpr int kSlitRows = 30;
inline constexpr int kSlitNpsBins = 100;    // accumulators of "Virtual Slit"
inline constexpr int kRadialNpsBins = 128;  // accumulators of "Radial NPS"

// How a patch is made stationary before its transform.
enum NpsWindow : int16_t {
    kNpsHann = 0,   // level removed, Hann taper
    kNpsTrend = 1,  // least-squares trend removed, no taper
};

// The radial frequency bins of one run.
struct NpsBinning {
    int bins = 48;
    float frequencyStep = 0;  // df = 1 / (FOV N / 512), cycles/mm
    float binWidth = 0;       // cycles/mm
};

// "Virtual Slit": below N = 256 the bins become 24; the factor is 5.12 for
// 24 bins and 2.56 otherwise.
NpsBinning slitNpsBinning(int n, float fov, int currentBins);
// "Radial NPS": 24 bins of factor 5.12 for N = 64, else 48 of 2.56.
NpsBinning radialNpsBinning(int n, float fov);

// Why the ROI (left x0, top y0, width n) can't be measured: "not 2^i data"
// for widths other than 64, 128, 256, "ROI error" when the rows the method
// reads (`rows` of them from y0, n columns from x0) leave the slice. Empty
// when it can.
std::string npsRoiProblem(int x0, int y0, int n, int rows);
// The rows "Virtual Slit" reads: the whole 30-row slits that fit in n.
inline int slitNpsRows(int n) { return n / kSlitRows * kSlitRows; }

struct NpsAccumulator {
    explicit NpsAccumulator(int size) : sum(size), count(size) {}
    std::vector<double> sum;
    std::vector<int32_t> count;
};

// Adds the slit spectra of one slice: `image` is a 512 x 512 slice whose
// values plus `offset` are the CT values; the ROI must lie inside it
// (npsRoiProblem). Power in value² mm² per bin.
void accumulateSlitNps(const int16_t* image, int offset, int x0, int y0, int n, float pixelSize,
                       const NpsBinning& binning, NpsWindow window, NpsAccumulator& acc);

// Adds the ring-binned 2D spectrum of the n x n patch at (x0, y0). The Hann
// option writes the weighted patch, rounded, to `reference` (a 512 x 512
// slice) as the window's display copy. The power is divided by the
// window's mean square, so white noise of SD s gives s² p² in every bin.
void accumulateRadialNps(const int16_t* image, int offset, int x0, int y0, int n, float pixelSize,
                         const NpsBinning& binning, NpsWindow window, NpsAccumulator& acc, int16_t* reference);

// The stored curve: frequency k × bin width and log10 of the bin's mean
// power for k = 1 .. bins. Nothing when one of them has no power (a
// constant patch) or received nothing.
std::optional<CurvePoints> npsCurve(const NpsAccumulator& acc, const NpsBinning& binning);

}  // namespace halvex
