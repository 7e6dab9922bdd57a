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

// d' over 0 .. fMax on a grid of `intervals` (even) Simpson intervals; zero
// when the noise integral is not positive.
Detectability detectability(const DetectabilityTask& task, const Observer& observer,
                            const std::function<double(double)>& mtf, const std::function<double(double)>& nps,
                            double fMax, int intervals = 2000);

}  // namespace halvex
