#include "filter_reference.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <random>

#include "band_frame.h"

namespace filter_reference {

namespace {

using lumvek_detail::low16;
using lumvek_detail::radius_from_sigma;
using lumvek_detail::round_half_up;
using lumvek_detail::round_nearest;
using lumvek_detail::saturate16;
using lumvek_detail::trunc_to_int;

int clamp_to(int v, int hi) { return v < 0 ? 0 : (v > hi ? hi : v); }

int16_t voxel(const int16_t* vol, int n, int x, int y, int z) {
    const std::size_t slice = static_cast<std::size_t>(clamp_to(z, n - 1));
    return vol[(slice * kSide + static_cast<std::size_t>(clamp_to(y, kSide - 1))) * kSide + clamp_to(x, kSide - 1)];
}

// exp(-k²/s²); the centre weight is 1 for every sigma, also for 0.
float weight(int k, float s) { return k == 0 ? 1.0f : std::exp(-static_cast<float>(k * k) / (s * s)); }

int radius(float sigma) { return std::max(0, radius_from_sigma(sigma)); }

// Which weights enter a box-family sum.
enum class Keep { All, AboveZero, AboveFiveThousandths };

bool keeps(Keep keep, float w) {
    switch (keep) {
        case Keep::All:
            return true;
        case Keep::AboveZero:
            return w > 0.0f;
        case Keep::AboveFiveThousandths:
            return w > 0.005f;
    }
    return true;
}

// The box family: `table` holds the window's weights, dz slowest, then dy,
// dx. twin selects the single-threaded 3D blend in × e − avg × (1 − e),
// stored as its low 16 bits; the others clamp to 16 bits.
void gaussian(int16_t* out, const int16_t* vol, int n, int z, int rxy, int rz, const std::vector<float>& table,
              Keep keep, float enhance, bool twin, int rowBegin, int rowEnd) {
    for (int y = rowBegin; y < rowEnd; ++y) {
        for (int x = 0; x < kSide; ++x) {
            float sum = 0.0f;
            float wsum = 0.0f;
            std::size_t i = 0;
            for (int dz = -rz; dz <= rz; ++dz) {
                for (int dy = -rxy; dy <= rxy; ++dy) {
                    for (int dx = -rxy; dx <= rxy; ++dx) {
                        const float w = table[i++];
                        if (!keeps(keep, w)) continue;
                        sum += w * voxel(vol, n, x + dx, y + dy, z + dz);
                        wsum += w;
                    }
                }
            }
            const float avg = sum / wsum;
            const float in = voxel(vol, n, x, y, z);
            out[y * kSide + x] = twin ? low16(round_nearest(in * enhance - avg * (1.0f - enhance)))
                                      : saturate16(round_nearest(avg * (1.0f - enhance) + in * enhance));
        }
    }
}

std::vector<float> table3d(int rxy, float sigmaXY, int rz, float sigmaZ) {
    std::vector<float> t;
    for (int dz = -rz; dz <= rz; ++dz)
        for (int dy = -rxy; dy <= rxy; ++dy)
            for (int dx = -rxy; dx <= rxy; ++dx)
                t.push_back(weight(dx, sigmaXY) * weight(dy, sigmaXY) * weight(dz, sigmaZ));
    return t;
}

void copy_rows(int16_t* out, const int16_t* vol, int z, int rowBegin, int rowEnd) {
    const std::size_t from = static_cast<std::size_t>(z) * kSliceSize;
    std::copy(vol + from + rowBegin * kSide, vol + from + rowEnd * kSide, out + rowBegin * kSide);
}

// Along-edge helpers: the projection of an offset on the gradient and the
// two table indices, exactly as written.
float projection(float gx, float gy, float gz, float norm, int dx, int dy, int dz) {
    if (norm > 0.1f) return (gx * dx + gy * dy + gz * dz) / norm;
    return static_cast<float>(dz);
}

int spatial_index(float v) { return std::clamp(trunc_to_int(v), 0, 19999); }

int range_index(int16_t c, int16_t g) {
    return std::clamp(trunc_to_int(std::fabs(static_cast<float>(c) - static_cast<float>(g)) + 0.5f), 0, 999);
}

float ratio01(float v) {
    if (std::isnan(v)) return 0.0f;
    return std::clamp(v, 0.0f, 1.0f);
}

// The three tables of the along-edge filters.
struct AlongTables {
    AlongTables(int r, float rangeSigma) {
        for (int dz = -r; dz <= r; ++dz)
            for (int dy = -r; dy <= r; ++dy)
                for (int dx = -r; dx <= r; ++dx)
                    distance.push_back(std::sqrt(static_cast<float>(dx * dx + dy * dy + dz * dz)));
        for (int k = 0; k < 20000; ++k) spatial.push_back(std::exp(-static_cast<float>(k) * 0.001f));
        for (int m = 0; m < 4096; ++m) range.push_back(weight(m, rangeSigma));
    }
    std::vector<float> distance, spatial, range;
};

float gradient_norm(float gx, float gy, float gz) { return std::sqrt(gx * gx + gy * gy + gz * gz); }

}  // namespace

void boxfilter3dct(int16_t* out, const int16_t* in, int n, float sigmaXY, float sigmaZ, float enhance, int z,
                   int rowBegin, int rowEnd) {
    const int rxy = radius(sigmaXY), rz = radius(sigmaZ);
    gaussian(out, in, n, z, rxy, rz, table3d(rxy, sigmaXY, rz, sigmaZ), Keep::All, enhance, true, rowBegin, rowEnd);
}

void boxfilter3dctms(int16_t* out, const int16_t* in, int n, float sigmaXY, float sigmaZ, float enhance, int z,
                     int rowBegin, int rowEnd) {
    const int rxy = radius(sigmaXY), rz = radius(sigmaZ);
    if (rxy == 0 && rz == 0) return copy_rows(out, in, z, rowBegin, rowEnd);
    gaussian(out, in, n, z, rxy, rz, table3d(rxy, sigmaXY, rz, sigmaZ), Keep::All, enhance, false, rowBegin, rowEnd);
}

void boxfilter3dctzms(int16_t* out, const int16_t* in, int n, float sigmaZ, float enhance, int z, int rowBegin,
                      int rowEnd) {
    const int rz = radius(sigmaZ);
    if (rz == 0) return copy_rows(out, in, z, rowBegin, rowEnd);
    std::vector<float> table;
    for (int dz = -rz; dz <= rz; ++dz) table.push_back(weight(dz, sigmaZ));
    gaussian(out, in, n, z, 0, rz, table, Keep::AboveFiveThousandths, enhance, false, rowBegin, rowEnd);
}

void boxfilter2dctms(int16_t* out, const int16_t* in, float sigma, float enhance) {
    const int r = radius(sigma);
    if (r == 0) return copy_rows(out, in, 0, 0, kSide);
    std::vector<float> table;
    for (int dy = -r; dy <= r; ++dy)
        for (int dx = -r; dx <= r; ++dx) table.push_back(weight(dy, sigma) * weight(dx, sigma));
    gaussian(out, in, 1, 0, r, 0, table, Keep::AboveZero, enhance, false, 0, kSide);
}

void boxfilter2dctivms(int16_t* out, const int16_t* in, float sigma, float enhance) {
    boxfilter2dctms(out, in, sigma, enhance);
    for (int i = 0; i < kSliceSize; ++i) out[i] = saturate16(in[i] - out[i]);
}

void boxfilter2dctneoms(int16_t* img, float sigma1, float sigma2, float enhance, float gain) {
    std::vector<int16_t> t1(kSliceSize), g(kSliceSize);
    boxfilter2dctms(t1.data(), img, sigma1, enhance);
    boxfilter2dctms(g.data(), img, sigma2, 0.0f);
    for (int i = 0; i < kSliceSize; ++i) {
        const float t2 = static_cast<float>(img[i] - g[i]);
        img[i] = low16(trunc_to_int(t1[i] * (1.0f - enhance) + img[i] * enhance + t2 * gain));
    }
}

void vecana3d(float* gx, float* gy, float* gz, const int16_t* vol, int n, int d, int r, int z, int rowBegin,
              int rowEnd) {
    r = std::max(r, 0);
    const int side = 2 * r + 1;
    const float s = 0.6f * r;
    std::vector<float> w;
    float total = 0.0f;
    for (int a = -r; a <= r; ++a) {
        for (int b = -r; b <= r; ++b) {
            w.push_back(weight(a, s) * weight(b, s));
            total += w.back();
        }
    }
    for (float& v : w) v /= total;
    auto W = [&](int a, int b) { return w[(a + r) * side + b + r]; };

    for (int y = rowBegin; y < rowEnd; ++y) {
        for (int x = 0; x < kSide; ++x) {
            float xPlus = 0, xMinus = 0, yPlus = 0, yMinus = 0, zPlus = 0, zMinus = 0;
            for (int a = -r; a <= r; ++a) {
                for (int b = -r; b <= r; ++b) {
                    xPlus += W(a, b) * voxel(vol, n, x + d, y + b, z + a);
                    xMinus += W(a, b) * voxel(vol, n, x - d, y + b, z + a);
                    yPlus += W(a, b) * voxel(vol, n, x + b, y + d, z + a);
                    yMinus += W(a, b) * voxel(vol, n, x + b, y - d, z + a);
                    zPlus += W(a, b) * voxel(vol, n, x + b, y + a, z + d);
                    zMinus += W(a, b) * voxel(vol, n, x + b, y + a, z - d);
                }
            }
            gx[y * kSide + x] = xPlus - xMinus;
            gy[y * kSide + x] = yPlus - yMinus;
            gz[y * kSide + x] = zPlus - zMinus;
        }
    }
}

void alongblfilter3d(int16_t* out, const int16_t* in, const int16_t* guide, const float* gx, const float* gy,
                     const float* gz, int n, int r, float alongSigma, float rangeSigma, int z, int rowBegin,
                     int rowEnd) {
    r = std::max(r, 0);
    const AlongTables tab(r, rangeSigma);
    const float s = 0.6f * r;
    const float A = alongSigma;
    for (int y = rowBegin; y < rowEnd; ++y) {
        for (int x = 0; x < kSide; ++x) {
            const int p = y * kSide + x;
            const float norm = gradient_norm(gx[p], gy[p], gz[p]);
            const int16_t c = voxel(guide, n, x, y, z);
            float sum = 0.0f, wsum = 0.0f;
            std::size_t i = 0;
            for (int dz = -r; dz <= r; ++dz) {
                for (int dy = -r; dy <= r; ++dy) {
                    for (int dx = -r; dx <= r; ++dx) {
                        const float D = tab.distance[i++];
                        const float t = projection(gx[p], gy[p], gz[p], norm, dx, dy, dz);
                        const int k = spatial_index(1000.0f * (D * D / (s * s) + t * t / (A * A)));
                        const float ws = tab.spatial[k];
                        if (ws <= 0.01f) continue;
                        const float w = ws * tab.range[range_index(c, voxel(guide, n, x + dx, y + dy, z + dz))];
                        sum += w * voxel(in, n, x + dx, y + dy, z + dz);
                        wsum += w;
                    }
                }
            }
            out[static_cast<std::size_t>(z) * kSliceSize + p] = saturate16(round_half_up(sum / wsum));
        }
    }
}

void alongfilter3d(int16_t* out, const int16_t* in, const float* gx, const float* gy, const float* gz, int n, int r,
                   int z, int rowBegin, int rowEnd) {
    r = std::max(r, 0);
    const AlongTables tab(r, 1.0f);
    const float s = 0.6f * r;
    for (int y = rowBegin; y < rowEnd; ++y) {
        for (int x = 0; x < kSide; ++x) {
            const int p = y * kSide + x;
            const float norm = gradient_norm(gx[p], gy[p], gz[p]);
            float sum = 0.0f, wsum = 0.0f;
            std::size_t i = 0;
            for (int dz = -r; dz <= r; ++dz) {
                for (int dy = -r; dy <= r; ++dy) {
                    for (int dx = -r; dx <= r; ++dx) {
                        const float D = tab.distance[i++];
                        const float t = projection(gx[p], gy[p], gz[p], norm, dx, dy, dz);
                        const float w = tab.spatial[spatial_index(1000.0f * (D * D / (s * s) + t * t / 0.36f) + 0.5f)];
                        sum += w * voxel(in, n, x + dx, y + dy, z + dz);
                        wsum += w;
                    }
                }
            }
            out[static_cast<std::size_t>(z) * kSliceSize + p] = saturate16(round_half_up(sum / wsum));
        }
    }
}

void boxblfilter3dal1(int16_t* out, const int16_t* in, const int16_t* guide, const float* gx, const float* gy,
                      const float* gz, int n, int r, const float* prm, int z, int rowBegin, int rowEnd) {
    r = std::max(r, 0);
    const float E1 = prm[0], E2 = prm[1], B = prm[5], T = prm[6], Q1 = prm[8], Q2 = prm[9];
    const int R2 = std::clamp(trunc_to_int(prm[7]), 0, 4);
    const AlongTables tab(r, B);
    const float s = 0.6f * r;
    std::vector<float> collected;
    for (int y = rowBegin; y < rowEnd; ++y) {
        for (int x = 0; x < kSide; ++x) {
            const int p = y * kSide + x;
            const float norm = gradient_norm(gx[p], gy[p], gz[p]);
            const int16_t c = voxel(guide, n, x, y, z);
            const float e = ratio01((norm - E1) / (E2 - E1));
            const float s1 = (1.0f - e) * s + e * 0.6f;

            collected.clear();
            for (int dz = -R2; dz <= R2; ++dz) {
                for (int dy = -R2; dy <= R2; ++dy) {
                    for (int dx = -R2; dx <= R2; ++dx) {
                        const float t = projection(gx[p], gy[p], gz[p], norm, dx, dy, dz);
                        if (-T <= t && t <= T) collected.push_back(voxel(guide, n, x + dx, y + dy, z + dz));
                    }
                }
            }
            const float m = static_cast<float>(collected.size());
            float total = 0.0f;
            for (float v : collected) total += v;
            const float mean = total / m;
            float squares = 0.0f;
            for (float v : collected) squares += (v - mean) * (v - mean);
            const float sd = std::sqrt(squares / m);
            const float u = ratio01((sd / norm - Q1) / (Q2 - Q1));
            const float e2 = e * e * u;
            const float s2 = (1.0f - e2) * s + e2 * 0.6f;

            float sum = 0.0f, wsum = 0.0f;
            std::size_t i = 0;
            for (int dz = -r; dz <= r; ++dz) {
                for (int dy = -r; dy <= r; ++dy) {
                    for (int dx = -r; dx <= r; ++dx) {
                        const float D = tab.distance[i++];
                        const float t = projection(gx[p], gy[p], gz[p], norm, dx, dy, dz);
                        const int k = spatial_index(1000.0f * (D * D / (s2 * s2) + t * t / (s1 * s1)));
                        const float w =
                            tab.spatial[k] * tab.range[range_index(c, voxel(guide, n, x + dx, y + dy, z + dz))];
                        sum += w * voxel(in, n, x + dx, y + dy, z + dz);
                        wsum += w;
                    }
                }
            }
            out[static_cast<std::size_t>(z) * kSliceSize + p] = saturate16(round_half_up(sum / wsum));
        }
    }
}

std::vector<int16_t> phantom_volume(int n, unsigned seed, int offset) {
    std::mt19937 rng(seed);
    std::normal_distribution<float> noise(0.0f, 10.0f);
    std::vector<int16_t> vol(static_cast<std::size_t>(n) * kSliceSize);
    for (int z = 0; z < n; ++z) {
        for (int y = 0; y < kSide; ++y) {
            for (int x = 0; x < kSide; ++x) {
                const float dx = x - 255.5f, dy = y - 255.5f;
                float hu = -1000.0f;
                if (dx * dx + dy * dy < 220.0f * 220.0f) {
                    hu = 0.0f;
                    const float rx = x - 170.0f, ry = y - 300.0f;
                    if (rx * rx + ry * ry < 30.0f * 30.0f) hu = 300.0f;
                    if (0.8f * x + 0.45f * y + 20.0f * z > 420.0f && y < 220) hu = 1000.0f;
                    hu += noise(rng);
                }
                vol[(static_cast<std::size_t>(z) * kSide + y) * kSide + x] =
                    static_cast<int16_t>(std::lround(hu) + offset);
            }
        }
    }
    return vol;
}

}  // namespace filter_reference
