// Numeric helpers of the measurement window: the cubic spline its graphs and
// exports are drawn through, polynomial least squares and the 2D Hann window
// of the noise spectra.
#pragma once

#include <cstdint>
#include <vector>

namespace halvex {

// Cubic spline through n points (2 <= n <= 512, abscissae increasing) with
// zero second derivative at both ends.
class SPLINE {
public:
    // Mode 1: builds the spline; false (and an empty spline) for fewer than
    // two points or abscissae that don't increase.
    bool build(const float* x, const float* y, int n);
    // Mode 2: the value at x. The spline ends at its first and last point:
    // outside them it is not evaluated (check covers() first).
    double evaluate(double x) const;
    bool covers(double x) const { return !x_.empty() && x >= x_.front() && x <= x_.back(); }

private:
    std::vector<double> x_, y_, m_, b_, c_;
};

// Least-squares polynomial of the given degree through y(0 .. n-1) at the
// abscissae 0 .. n-1: coefficients c(0 .. degree) of c0 + c1 l + c2 l^2 ...
// The normal equations are solved in double precision around the centre of
// the abscissae, which keeps them well conditioned for n = 256 and more.
std::vector<double> LESQ(int degree, const float* y, int n);

// Removes the least-squares quadric surface (1, u, v, u², u v, v²) from the
// n x n float array `data` (row-major): the trend removal of the radial
// noise spectrum. False (data unchanged) for n below 3.
bool LESQ2D(float* data, int n);

// The amplitude gain that makes up for a Hann taper (its mean square is 3/8).
inline constexpr float kHannGain = 1.633f;

// The radial Hann weight of element (i, j) of an n x n patch: 0.5 + 0.5
// cos(pi r / (n/2)) with r the distance of the rounded offsets from the
// centre, 0 beyond n/2.
double radialHannWeight(int i, int j, int n);
// The mean over the patch of the squared weight times the gain 1.633²: what
// the radial Hann window multiplies the power of white noise by.
double radialHannMeanSquare(int n);

// 2D radial Hann window over the n x n float array `work` (row-major), with
// the gain 1.633 applied twice; the rounded results also go to `reference`
// (a 512-column slice) at the same row and column.
void HANNING(float* work, int n, int16_t* reference);

}  // namespace halvex
