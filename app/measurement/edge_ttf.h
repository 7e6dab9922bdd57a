// The edge MTF from an ESF without a hand on the LSF, for the automatic
// evaluation of a series: the LSF's baseline is the mean of its tails (the
// window's first estimate) and its tails are zeroed beyond a fixed number of
// half-maximum widths from its peak, where a user would click. The steps are
// the window's own (edge_mtf.h); only the choices of the hand are replaced.
#pragma once

#include <optional>
#include <vector>

#include "measurement/edge_mtf.h"

namespace halvex {

struct EdgeMtfChoices {
    // The LSF is zeroed beyond this many half-maximum widths of its peak on
    // either side: far enough that a Gaussian's tail carries nothing that
    // counts, near enough that the noise of the flat ESF ends does not come in.
    double tailWidths = 4.0;
    // Points of the curve, cycles/mm apart, up to the pixel grid's Nyquist
    // frequency.
    float curveInterval = 0.02f;
};

struct EdgeMtf {
    CurvePoints curve;  // up to the Nyquist frequency of the pixels
    std::optional<double> mtf50, mtf10;
    double lsfFwhmBins = 0;  // of the smoothed LSF, in third-pixel bins
};

// The MTF of a summed ESF (sums and counts per bin, as accumulated) over the
// edge ROI `roi`, for slices of field of view `fov` mm. Nothing when the ESF
// has no edge.
std::optional<EdgeMtf> automaticEdgeMtf(Esf esf, const EdgeRoi& roi, bool circular, float fov,
                                        const EdgeMtfChoices& choices);

}  // namespace halvex
