#include "measurement/detectability.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace halvex {

namespace {

constexpr double kPi = std::numbers::pi;

// Simpson's rule over values on an even number of equal intervals.
double simpson(const std::vector<double>& v, double step) {
    double sum = v.front() + v.back();
    for (size_t i = 1; i + 1 < v.size(); ++i) sum += (i % 2 ? 4 : 2) * v[i];
    return sum * step / 3;
}

}  // namespace

double taskSpectrum(const DetectabilityTask& task, double f) {
    const double area = kPi * task.diameter * task.diameter / 4;
    const double x = kPi * task.diameter * f;
    // 2 J1(x) / x tends to 1 at x = 0.
    const double shape = x < 1e-8 ? 1.0 : 2 * std::cyl_bessel_j(1.0, x) / x;
    return task.contrast * area * shape;
}

double eyeResponse(const Observer& observer, double f) {
    const double rho = f * observer.viewingDistance * kPi / 180 / observer.zoom;
    return std::pow(rho, 1.3) * std::exp(-3.5 * rho * rho);
}

Detectability detectability(const DetectabilityTask& task, const Observer& observer,
                            const std::function<double(double)>& mtf, const std::function<double(double)>& nps,
                            double fMax, int intervals) {
    Detectability d;
    intervals = std::max(2, intervals + intervals % 2);
    const double step = fMax / intervals;
    const size_t points = static_cast<size_t>(intervals) + 1;
    d.frequency.resize(points);
    d.signal.resize(points);
    d.noise.resize(points);
    std::vector<double> eye2(points, 1.0), external(points);
    for (size_t i = 0; i < points; ++i) {
        const double f = static_cast<double>(i) * step;
        const double w = taskSpectrum(task, f) * mtf(f);
        d.frequency[i] = f;
        if (observer.eyeFilter) eye2[i] = std::pow(eyeResponse(observer, f), 2);
        d.signal[i] = w * w * eye2[i] * 2 * kPi * f;
        external[i] = eye2[i] * nps(f);
    }
    // Internal noise: flat, a tenth of the eye-filtered external NPS's peak.
    const double internal = observer.eyeFilter && observer.internalNoise
                                ? 0.1 * *std::max_element(external.begin(), external.end())
                                : 0.0;
    for (size_t i = 0; i < points; ++i) d.noise[i] = d.signal[i] * (external[i] + (observer.eyeFilter ? internal : 0));
    const double signal = simpson(d.signal, step), noise = simpson(d.noise, step);
    d.dPrime = noise > 0 ? signal / std::sqrt(noise) : 0;
    return d;
}

}  // namespace halvex
