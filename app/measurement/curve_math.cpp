#include "measurement/curve_math.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>

#include "platform/number_text.h"

namespace halvex {

bool SPLINE::build(const float* x, const float* y, int n) {
    x_.clear(), y_.clear(), m_.clear(), b_.clear(), c_.clear();
    if (n < 2) return false;
    for (int i = 1; i < n; ++i)
        if (!(x[i] > x[i - 1])) return false;
    const size_t count = static_cast<size_t>(n);
    std::vector<double> h(count), s(count);
    for (size_t i = 1; i < count; ++i) {
        h[i] = double(x[i]) - x[i - 1];
        s[i] = (double(y[i]) - y[i - 1]) / h[i];
    }
    // Tridiagonal system for the first derivatives m: sub, diagonal, super
    // and right-hand side per row; natural ends (second derivative 0).
    std::vector<double> sub(count), diag(count), super(count), rhs(count);
    diag[0] = 2, super[0] = 1, rhs[0] = 3 * s[1];
    for (size_t i = 1; i + 1 < count; ++i) {
        sub[i] = h[i + 1];
        diag[i] = 2 * (h[i] + h[i + 1]);
        super[i] = h[i];
        rhs[i] = 3 * (s[i] * h[i + 1] + s[i + 1] * h[i]);
    }
    sub[count - 1] = 1, diag[count - 1] = 2, rhs[count - 1] = 3 * s[count - 1];
    for (size_t i = 1; i < count; ++i) {
        const double f = sub[i] / diag[i - 1];
        diag[i] -= f * super[i - 1];
        rhs[i] -= f * rhs[i - 1];
    }
    m_.assign(count, 0.0);
    m_[count - 1] = rhs[count - 1] / diag[count - 1];
    for (size_t i = count - 1; i-- > 0;) m_[i] = (rhs[i] - super[i] * m_[i + 1]) / diag[i];

    x_.assign(x, x + n);
    y_.assign(y, y + n);
    b_.resize(count - 1);
    c_.resize(count - 1);
    for (size_t j = 0; j + 1 < count; ++j) {
        const double bend = m_[j + 1] + m_[j] - 2 * s[j + 1];
        b_[j] = (s[j + 1] - m_[j] - bend) / h[j + 1];
        c_[j] = bend / (h[j + 1] * h[j + 1]);
    }
    return true;
}

double SPLINE::evaluate(double x) const {
    if (!covers(x)) return 0.0;
    // The segment with x(j) <= x < x(j+1); the last point belongs to the last segment.
    const size_t j = std::min<size_t>(std::upper_bound(x_.begin(), x_.end(), x) - x_.begin() - 1, x_.size() - 2);
    const double t = x - x_[j];
    return y_[j] + t * (m_[j] + t * (b_[j] + t * c_[j]));
}

namespace {

// Solves the square system a x = b given as rows [a | b] by elimination with
// partial pivoting; nothing when it is singular.
std::optional<std::vector<double>> solveAugmented(std::vector<std::vector<double>> a) {
    const size_t terms = a.size();
    for (size_t col = 0; col < terms; ++col) {
        size_t pivot = col;
        for (size_t r = col + 1; r < terms; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
        std::swap(a[col], a[pivot]);
        if (a[col][col] == 0.0) return std::nullopt;
        for (size_t r = 0; r < terms; ++r) {
            if (r == col) continue;
            const double f = a[r][col] / a[col][col];
            for (size_t c = col; c <= terms; ++c) a[r][c] -= f * a[col][c];
        }
    }
    std::vector<double> x(terms);
    for (size_t k = 0; k < terms; ++k) x[k] = a[k][terms] / a[k][k];
    return x;
}

// Adds one observation y with the terms `basis` to the normal equations.
void addObservation(std::vector<std::vector<double>>& a, const std::vector<double>& basis, double y) {
    const size_t terms = basis.size();
    for (size_t r = 0; r < terms; ++r) {
        for (size_t c = 0; c < terms; ++c) a[r][c] += basis[r] * basis[c];
        a[r][terms] += basis[r] * y;
    }
}

}  // namespace

std::vector<double> LESQ(int degree, const float* y, int n) {
    if (degree < 0 || n <= degree) return {};
    const size_t terms = static_cast<size_t>(degree) + 1;
    // Abscissae mapped to u = (l - centre) / half in -1 .. 1.
    const double centre = (n - 1) / 2.0, half = std::max(centre, 1.0);
    std::vector<std::vector<double>> a(terms, std::vector<double>(terms + 1, 0.0));
    std::vector<double> power(terms);
    for (int l = 0; l < n; ++l) {
        const double u = (l - centre) / half;
        power[0] = 1;
        for (size_t p = 1; p < terms; ++p) power[p] = power[p - 1] * u;
        addObservation(a, power, y[l]);
    }
    const auto solution = solveAugmented(std::move(a));
    if (!solution) return {};
    // Back to powers of l: ((l - centre) / half)^k expanded binomially.
    std::vector<double> coefficients(terms, 0.0);
    for (size_t k = 0; k < terms; ++k) {
        const double ak = (*solution)[k] / std::pow(half, double(k));
        double binomial = 1;
        for (size_t i = 0; i <= k; ++i) {
            if (i > 0) binomial = binomial * double(k - i + 1) / double(i);
            coefficients[k - i] += ak * binomial * std::pow(-centre, double(i));
        }
    }
    return coefficients;
}

bool LESQ2D(float* data, int n) {
    if (n < 3) return false;
    // Quadric in u, v (column, row mapped to -1 .. 1): 1, u, v, u², u v, v².
    const double centre = (n - 1) / 2.0;
    auto basis = [centre](int row, int col) {
        const double u = (col - centre) / centre, v = (row - centre) / centre;
        return std::vector<double>{1, u, v, u * u, u * v, v * v};
    };
    std::vector<std::vector<double>> a(6, std::vector<double>(7, 0.0));
    for (int j = 0; j < n; ++j)
        for (int k = 0; k < n; ++k) addObservation(a, basis(j, k), data[size_t(j) * n + k]);
    const auto c = solveAugmented(std::move(a));
    if (!c) return false;
    for (int j = 0; j < n; ++j)
        for (int k = 0; k < n; ++k) {
            const std::vector<double> b = basis(j, k);
            double fit = 0;
            for (size_t t = 0; t < b.size(); ++t) fit += (*c)[t] * b[t];
            float& v = data[size_t(j) * n + k];
            v = static_cast<float>(v - fit);
        }
    return true;
}

double radialHannWeight(int i, int j, int n) {
    const int halfN = n / 2;
    const double di = roundHalfEven(i - n / 2.0), dj = roundHalfEven(j - n / 2.0);
    const double r = std::sqrt(di * di + dj * dj);
    return r <= halfN ? static_cast<float>(0.5 + 0.5 * std::cos(std::numbers::pi * r / halfN)) : 0.0f;
}

double radialHannMeanSquare(int n) {
    double sum = 0;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const double w = static_cast<float>(radialHannWeight(i, j, n)) * kHannGain * kHannGain;
            sum += w * w;
        }
    return sum / (double(n) * n);
}

void HANNING(float* work, int n, int16_t* reference) {
    for (int i = 0; i < n && i < 512; ++i) {
        for (int j = 0; j < n && j < 512; ++j) {
            const float weight = static_cast<float>(radialHannWeight(i, j, n));
            float& v = work[size_t(i) * n + j];
            v = v * weight * kHannGain * kHannGain;
            reference[size_t(i) * 512 + j] = roundHalfEven16(v);
        }
    }
}

}  // namespace halvex
