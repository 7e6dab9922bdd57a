// The automatic evaluation of a phantom series: the objects found (or given
// by a recipe) measured with the measurement window's own methods over the
// slices of a range, every figure with a 95 % interval from a bootstrap over
// the slices. The results are data; results_json.* writes them.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "evaluation/object_finder.h"
#include "measurement/detectability.h"

namespace halvex {

// Every method parameter of a run: what a recipe keeps so that a rerun
// measures the same way.
struct EvaluationParameters {
    // TTF: the circular-edge ESF reaches this many insert radii from the
    // centre; the LSF is zeroed beyond this many of its half-maximum widths.
    double ttfReach = 2.0;
    double ttfTailWidths = 4.0;
    double curveInterval = 0.02;  // cycles/mm between the points of the TTF and wire MTF curves
    // CT numbers of an insert: the disc within this share of its radius.
    double insertRoiShare = 0.6;
    // NPS: the radial NPS of every uniform ROI ("hann": level removed,
    // radial Hann window; "trend": least-squares quadric removed).
    std::string npsWindow = "hann";
    // Wire MTF (2D FFT): the patch is cut to this many times the wire's
    // half-maximum radius (at least wireMinRadius pixels); the background
    // is the mean of the annulus of wireAnnulus pixels just outside it.
    double wireRadiusFactor = 6.0;
    int wireMinRadius = 8;
    int wireAnnulus = 4;
    // SSP: the mean of the disc within this share of the z object's radius.
    double sspRoiShare = 0.7;
    // Bootstrap.
    int bootstrap = 200;
    uint64_t seed = 1;
    // Tasks beyond the one per insert (diameter mm, contrast HU), and the
    // NPWE observer.
    std::vector<DetectabilityTask> tasks;
    Observer npwe;
};

// A measured scalar and its 95 % interval. `defined` is false when the
// figure could not be measured (it is then null in the results).
struct Estimate {
    double value = 0, lo = 0, hi = 0;
    bool defined = false;
};

// A curve with its pointwise 95 % interval; f in cycles/mm.
struct EstimatedCurve {
    std::vector<double> f, value, lo, hi;
};

struct TtfResult {
    std::string object;
    double contrastHu = 0, cnr = 0;
    Estimate mtf50, mtf10;
    EstimatedCurve curve;
};

struct NpsResult {
    Estimate noiseHu, fPeak, fAv;
    EstimatedCurve curve;  // linear NPS, HU^2 mm^2
    bool flat = false;     // no peak stands out: f_peak says little
};

struct CtNumberResult {
    std::string object;
    Estimate meanHu, sdHu;
};

struct WireResult {
    std::string object;
    Estimate mtf50, mtf10;
    EstimatedCurve curve;
};

struct SspResult {
    std::string object;
    Estimate fwhmMm, fwtmMm;
    EstimatedCurve profile;  // f: z in mm from the half-maximum centre; the peak scaled to 1
};

struct DprimeResult {
    double diameterMm = 0, contrastHu = 0;
    std::string observer;  // "NPW" or "NPWE"
    std::string ttfObject;  // the insert whose TTF it used
    Estimate value;
};

// The series as the evaluation saw it.
struct SeriesSummary {
    std::string source;  // the folder or first file given
    int files = 0;
    int first = 0, last = 0;  // 1-based slices in position order, inclusive
    double pixelMm = 0;
    std::string kernel;
    double thicknessMm = 0;
    double kv = 0, mas = 0, ctdiVolMgy = 0;  // 0: not in the files
};

struct EvaluationResult {
    SeriesSummary series;
    std::vector<FoundObject> objects;
    std::vector<TtfResult> ttf;
    std::optional<NpsResult> nps;
    std::vector<CtNumberResult> ctNumbers;
    Estimate uniformityHu;
    std::optional<WireResult> wire;
    std::optional<SspResult> ssp;
    std::vector<DprimeResult> dprime;
    std::vector<std::string> warnings;
};

// Measures `objects` on `slices` (in position order, all of the range;
// pixelMm their pixel size). `progress(done, total)` is called as the work
// goes on; it may be empty.
EvaluationResult evaluateSeries(const std::vector<SliceImage>& slices, float pixelMm,
                                const std::vector<FoundObject>& objects, const EvaluationParameters& parameters,
                                const std::function<void(int done, int total)>& progress = {});

// Another series against the first, with the same objects and parameters:
// ratios are the other's over the first's, the f_av shift the other's less
// the first's, each with an interval from a paired bootstrap (the same slice
// indices drawn in both).
struct TtfComparison {
    std::string object;
    Estimate mtf50Ratio, mtf10Ratio;
};
struct DprimeComparison {
    double diameterMm = 0, contrastHu = 0;
    std::string observer;
    Estimate ratio;
};
struct Comparison {
    std::vector<TtfComparison> ttf;
    Estimate noiseRatio, fAvShift;
    std::vector<DprimeComparison> dprime;
};
struct ComparedSeries {
    EvaluationResult first, other;
    Comparison comparison;
};
// Nothing when the two don't hold the same number of slices.
std::optional<ComparedSeries> compareSeries(const std::vector<SliceImage>& slices,
                                            const std::vector<SliceImage>& otherSlices, float pixelMm,
                                            const std::vector<FoundObject>& objects,
                                            const EvaluationParameters& parameters,
                                            const std::function<void(int done, int total)>& progress = {});

}  // namespace halvex
