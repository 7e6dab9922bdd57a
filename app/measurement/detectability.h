// Task-based detectability d' of non-prewhitening model observers, from a
// radially symmetric MTF and NPS: the task is a disc of diameter D (mm) and
// contrast C (HU), frequencies are in cycles/mm, the NPS in HU^2 mm^2, so d'
// has no unit.
//
//   W(f)  = C pi (D/2)^2 2 J1(pi D f) / (pi D f)
//   NPW:  d'^2 = [ int W^2 MTF^2 2 pi f df ]^2 / int W^2 MTF^2 NPS 2 pi f df
//   NPWE: the eye filter E(f) = rho^1.3 exp(-3.5 rho^2), with rho = f x
//         viewing distance x pi / 180 / zoom (cycles per degree), once on the
//         signal terms (W^2 MTF^2 E^2) and twice on the noise term
//         (W^2 MTF^2 E^4 NPS); with internal noise, a flat NPS of 0.1 x the
//         peak of the eye-filtered external NPS (E^2 NPS) is added after the
//         eye: the noise term becomes W^2 MTF^2 E^2 (E^2 NPS + Ni).
#pragma once

#include <functional>
#include <optional>
#include <vector>

namespace halvex {

struct DetectabilityTask {
    double diameter = 5;  // mm
    double contrast = 10;  // HU
};

struct Observer {
    bool eyeFilter = true;  // NPWE; NPW without
    double viewingDistance = 500;  // mm
    double zoom = 1;
    bool internalNoise = false;
};

// The task's Fourier amplitude at f (HU mm^2).
double taskSpectrum(const DetectabilityTask& task, double f);
// The eye's response at f (cycles/mm on the image).
double eyeResponse(const Observer& observer, double f);

struct Detectability {
    double dPrime = 0;
    // The integrands on the grid: the signal term W^2 MTF^2 (E^2) 2 pi f and
    // the noise term (its denominator's integrand).
    std::vector<double> frequency, signal, noise;
};

// What d' takes from the task and the observer on its grid of frequencies,
// 0 .. fMax in `intervals` (even) Simpson intervals: the squared task
// spectrum and eye filter at every point. Made once, it serves any number of
// curves (the bootstrap of an evaluation).
struct DetectabilityGrid {
    double step = 0;
    std::vector<double> frequency, task2, eye2;
    bool eyeFilter = false, internalNoise = false;
};
DetectabilityGrid detectabilityGrid(const DetectabilityTask& task, const Observer& observer, double fMax,
                                    int intervals = 2000);

// d' over the grid; zero when the noise integral is not positive.
Detectability detectability(const DetectabilityGrid& grid, const std::function<double(double)>& mtf,
                            const std::function<double(double)>& nps);
Detectability detectability(const DetectabilityTask& task, const Observer& observer,
                            const std::function<double(double)>& mtf, const std::function<double(double)>& nps,
                            double fMax, int intervals = 2000);

// d' from curves given as points, as the window's stores and the series
// evaluation keep them: the MTF and the NPS's log10 values, each through its
// cubic spline (the window's SPLINE), holding its end value beyond its
// points (the NPS starts above 0 cycles/mm), up to the smaller of the two
// last frequencies. Nothing when a curve has fewer than two points or the
// frequencies reach no higher than 0.
std::optional<Detectability> detectabilityOfCurves(const DetectabilityTask& task, const Observer& observer,
                                                   const std::vector<float>& mtfFrequency,
                                                   const std::vector<float>& mtf,
                                                   const std::vector<float>& npsFrequency,
                                                   const std::vector<float>& npsLog10);
// The highest frequency d' of these curves reaches (the smaller of their
// last frequencies), 0 when a curve is empty.
double detectabilityReach(const std::vector<float>& mtfFrequency, const std::vector<float>& npsFrequency);
// The same d' on a grid made for curves of that reach.
std::optional<Detectability> detectabilityOfCurves(const DetectabilityGrid& grid,
                                                   const std::vector<float>& mtfFrequency,
                                                   const std::vector<float>& mtf,
                                                   const std::vector<float>& npsFrequency,
                                                   const std::vector<float>& npsLog10);

}  // namespace halvex
