#include "measurement/detectability.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "measurement/curve_math.h"

namespace halvex {

namespace {

constexpr double kPi = std::numbers::pi;

// Simpson's rule over values on an even number of equal intervals.
double simpson(const std::vector<double>& v, double step) {
    double sum = v.front() + v.back();
    for (size_t i = 1; i + 1 < v.size(); ++i) sum += (i % 2 ? 4 : 2) * v[i];
    return sum * step / 3;
}

// A curve of points as a function of frequency: the spline through them,
// and their end values beyond them.
class PointCurve {
public:
    PointCurve(const std::vector<float>& x, const std::vector<float>& y) : x_(x), y_(y) {
        const size_t n = std::min(x.size(), y.size());
        built_ = n >= 2 && spline_.build(x.data(), y.data(), static_cast<int>(n));
    }
    bool built() const { return built_; }
    double at(double f) const {
        if (spline_.covers(f)) return spline_.evaluate(f);
        return f < x_.front() ? y_.front() : y_[std::min(x_.size(), y_.size()) - 1];
    }
    double last() const { return x_[std::min(x_.size(), y_.size()) - 1]; }

private:
    const std::vector<float>& x_;
    const std::vector<float>& y_;
    SPLINE spline_;
    bool built_ = false;
};

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

DetectabilityGrid detectabilityGrid(const DetectabilityTask& task, const Observer& observer, double fMax,
                                    int intervals) {
    DetectabilityGrid g;
    intervals = std::max(2, intervals + intervals % 2);
    g.step = fMax / intervals;
    g.eyeFilter = observer.eyeFilter;
    g.internalNoise = observer.internalNoise;
    const size_t points = static_cast<size_t>(intervals) + 1;
    g.frequency.resize(points);
    g.task2.resize(points);
    g.eye2.assign(points, 1.0);
    for (size_t i = 0; i < points; ++i) {
        const double f = static_cast<double>(i) * g.step;
        g.frequency[i] = f;
        g.task2[i] = std::pow(taskSpectrum(task, f), 2);
        if (observer.eyeFilter) g.eye2[i] = std::pow(eyeResponse(observer, f), 2);
    }
    return g;
}

Detectability detectability(const DetectabilityGrid& g, const std::function<double(double)>& mtf,
                            const std::function<double(double)>& nps) {
    Detectability d;
    const size_t points = g.frequency.size();
    d.frequency = g.frequency;
    d.signal.resize(points);
    d.noise.resize(points);
    std::vector<double> external(points);
    for (size_t i = 0; i < points; ++i) {
        const double f = g.frequency[i], m = mtf(f);
        d.signal[i] = g.task2[i] * m * m * g.eye2[i] * 2 * kPi * f;
        external[i] = g.eye2[i] * nps(f);
    }
    // Internal noise: flat, a tenth of the eye-filtered external NPS's peak.
    const double internal = g.eyeFilter && g.internalNoise ? 0.1 * *std::max_element(external.begin(), external.end())
                                                           : 0.0;
    for (size_t i = 0; i < points; ++i) d.noise[i] = d.signal[i] * (external[i] + internal);
    const double signal = simpson(d.signal, g.step), noise = simpson(d.noise, g.step);
    d.dPrime = noise > 0 ? signal / std::sqrt(noise) : 0;
    return d;
}

Detectability detectability(const DetectabilityTask& task, const Observer& observer,
                            const std::function<double(double)>& mtf, const std::function<double(double)>& nps,
                            double fMax, int intervals) {
    return detectability(detectabilityGrid(task, observer, fMax, intervals), mtf, nps);
}

double detectabilityReach(const std::vector<float>& mtfFrequency, const std::vector<float>& npsFrequency) {
    if (mtfFrequency.empty() || npsFrequency.empty()) return 0;
    return std::min<double>(mtfFrequency.back(), npsFrequency.back());
}

std::optional<Detectability> detectabilityOfCurves(const DetectabilityGrid& grid,
                                                   const std::vector<float>& mtfFrequency,
                                                   const std::vector<float>& mtf,
                                                   const std::vector<float>& npsFrequency,
                                                   const std::vector<float>& npsLog10) {
    const PointCurve m(mtfFrequency, mtf), logNps(npsFrequency, npsLog10);
    if (!m.built() || !logNps.built() || grid.frequency.size() < 3) return std::nullopt;
    return detectability(
        grid, [&](double f) { return m.at(f); }, [&](double f) { return std::pow(10.0, logNps.at(f)); });
}

std::optional<Detectability> detectabilityOfCurves(const DetectabilityTask& task, const Observer& observer,
                                                   const std::vector<float>& mtfFrequency,
                                                   const std::vector<float>& mtf,
                                                   const std::vector<float>& npsFrequency,
                                                   const std::vector<float>& npsLog10) {
    const double fMax = detectabilityReach(mtfFrequency, npsFrequency);
    if (!(fMax > 0)) return std::nullopt;
    return detectabilityOfCurves(detectabilityGrid(task, observer, fMax), mtfFrequency, mtf, npsFrequency, npsLog10);
}

}  // namespace halvex
