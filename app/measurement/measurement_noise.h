// How far noise decides a measurement made on one slice: the peak-to-noise
// ratio (PNR) of a line spread function or of a point's image, the standard
// error of a noise spectrum's bins, the limits below which the method's own
// scatter exceeds what a user can read off it, and the caption notes that
// say so. Nothing is refused on these grounds: the numbers stay as the
// method gives them, the caption tells the user to average.
#pragma once

#include <string>
#include <vector>

#include "measurement/edge_mtf.h"
#include "measurement/noise_spectrum.h"

namespace halvex {

// How far an MTF may be off at its 50 % frequency, in 95 of 100 noise
// realisations, before noise decides it; also how far a wire's or bead's
// MTF may stand above 1 at low frequencies.
inline constexpr double kMtfScatterLimit = 0.05;

// The PNR below which an MTF is off by more than kMtfScatterLimit at its
// 50 % frequency in more than 5 of 100 noise realisations: a size^b, size
// being how much the transform takes (the LSF's span in samples after
// zeroing, or the 2D-FFT radius in pixels: the more noise it sums, the
// higher the PNR must be). Fitted to a simulation of each method on
// analytic phantoms with white noise over many seeds, contrasts, zero
// limits and radii (tools/noise_limits); the table is in
// docs/ARCHITECTURE.md, "When noise decides a measurement".
struct PnrLimit {
    double a = 0, b = 0;
    double at(double size) const;
};
inline constexpr PnrLimit kEdgePnrLimit{2.5, 0.25};
inline constexpr PnrLimit kCircularEdgePnrLimit{6.6, 0};
inline constexpr PnrLimit kSlitPnrLimit{12.5, 0.51};
inline constexpr PnrLimit kRadialPnrLimit{18, 0.61};
inline constexpr PnrLimit kPointPnrLimit{1.24, 1.85};
// A noise spectrum whose worst bin has a larger relative standard error than
// this is decided by noise.
inline constexpr double kNpsErrorLimit = 0.10;

// The samples of the edge LSF (third-pixel bins) or of a wire LSF (pixels)
// nearer the centre than this are the spread itself, not its tails. A
// wire's or bead's spread ends within a few pixels.
int edgeTailGap(const EdgeRoi& roi);
inline constexpr int kWireTailGap = 32;

// The samples of an LSF the transform takes: from its first nonzero sample
// to its last (the zeroed tails and the samples the method never filled
// are outside).
int lsfSpan(const std::vector<float>& lsf);

// The PNR of an LSF: its value at `centre` above the mean of its tails, over
// the tails' SD (population). The tails are the samples at least `gap` from
// the centre, inside the part the method filled: runs of exact zeros at
// either end are samples it never reached (the edge's difference covers only
// the ROI). Infinite when the tails show no noise (none left, or all equal).
double lsfPeakToNoise(const std::vector<float>& lsf, int centre, int gap);

// The PNR of a point's image on the 2D-FFT patch (kWirePatch square, the
// point at its centre): the centre value above the mean of the annulus
// r/2 .. r about it, over that annulus' SD: the background the transformed
// disc of radius r holds, away from the point. Infinite when it is flat.
double ringPeakToNoise(const std::vector<float>& patch, double r);

// The PNR of the mean of several measurements from their single PNRs: the
// noise of a mean of n falls with the root of the sum of the squares.
double meanPeakToNoise(const std::vector<double>& single);

// True when a stored MTF, before it first falls below 0.5, stands above 1
// by more than kMtfScatterLimit: a spread function can't transfer more than
// its zero frequency, so noise (or a background that is off) shrank the
// zero-frequency term that the curve is divided by.
bool mtfAboveOne(const CurvePoints& points);

// The caption's note for an MTF: " PNR=23", and when the PNR is below
// `limit` or the curve rises above 1, that noise decides it and how to
// average.
std::string mtfNoiseNote(double pnr, double limit, bool aboveOne);

// The largest relative standard error of the bins 1 .. binning.bins of a
// noise spectrum: 1 / sqrt(independent samples), a bin's samples counted by
// the accumulator and divided by `samplesPerIndependent`, how many of them
// are worth one independent sample under the taper (see npsSampleWorth).
double npsRelativeError(const NpsAccumulator& acc, const NpsBinning& binning, double samplesPerIndependent);

// How many accumulated samples of a spectrum count as one independent one:
// a taper correlates neighbouring frequencies, the trend removal (no taper)
// leaves them independent.
double npsSampleWorth(bool radial, NpsWindow window);

// The caption's note for a noise spectrum: " SE=8%", and when that is above
// kNpsErrorLimit, that noise decides it and how to average.
std::string npsNoiseNote(double relativeError);

}  // namespace halvex
