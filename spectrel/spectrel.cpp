#include "spectrel.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

namespace {

constexpr int32_t kMinSide = 2;
constexpr int32_t kMaxSide = 8192;

// Estimated plans cost nothing to make. Measured ones smooth a 512 x 512
// image only about a tenth faster, yet take a third of a second to make
// there and far longer at the largest sizes, which would stall tfset.
constexpr unsigned kPlanning = FFTW_ESTIMATE;

struct FftwFree {
    void operator()(void* p) const { fftwf_free(p); }
};
struct PlanDestroy {
    void operator()(fftwf_plan p) const { fftwf_destroy_plan(p); }
};
using Plan = std::unique_ptr<fftwf_plan_s, PlanDestroy>;

// The upper half of the FFT bins holds the negative frequencies: bin i of n
// lies fold(i, n) bins from zero.
int32_t fold(int32_t i, int32_t n) { return i <= n / 2 ? i : n - i; }

// What one prepared size needs. The real-to-complex transform keeps only the
// columns 0 .. width/2 of the spectrum (the others are their mirror images),
// so gain holds H for those columns alone.
struct Smoother {
    int32_t width = 0, height = 0, halfWidth = 0;
    std::vector<float> gain;
    std::unique_ptr<float, FftwFree> image;
    std::unique_ptr<fftwf_complex, FftwFree> spectrum;
    Plan forward, inverse;
};

std::mutex g_lock;
std::unique_ptr<Smoother> g_smoother;

bool valid_side(int32_t n) { return n >= kMinSide && n <= kMaxSide; }
bool valid_length(float v) { return std::isfinite(v) && v > 0.0f; }

// Returns null when memory or a plan can't be had.
std::unique_ptr<Smoother> make_smoother(int32_t width, int32_t height, float pixelSize, float cutoff) {
    auto s = std::make_unique<Smoother>();
    s->width = width;
    s->height = height;
    s->halfWidth = width / 2 + 1;
    const size_t bins = static_cast<size_t>(s->halfWidth) * height;
    s->image.reset(fftwf_alloc_real(static_cast<size_t>(width) * height));
    s->spectrum.reset(fftwf_alloc_complex(bins));
    if (!s->image || !s->spectrum) return nullptr;
    // Planning may scribble over both buffers; they are the library's own
    // scratch, refilled by every smoothing.
    s->forward.reset(fftwf_plan_dft_r2c_2d(height, width, s->image.get(), s->spectrum.get(), kPlanning));
    s->inverse.reset(fftwf_plan_dft_c2r_2d(height, width, s->spectrum.get(), s->image.get(), kPlanning));
    if (!s->forward || !s->inverse) return nullptr;

    s->gain.resize(bins);
    // One bin step in cycles per mm, times k, along each axis.
    const double k = std::sqrt(std::log(10.0)) / cutoff;
    const double stepX = k / (static_cast<double>(width) * pixelSize);
    const double stepY = k / (static_cast<double>(height) * pixelSize);
    for (int32_t r = 0; r < height; ++r) {
        const double y = fold(r, height) * stepY;
        for (int32_t c = 0; c < s->halfWidth; ++c) {
            const double x = c * stepX;
            s->gain[static_cast<size_t>(r) * s->halfWidth + c] = static_cast<float>(std::exp(-(x * x + y * y)));
        }
    }
    return s;
}

// The full-width table the caller asked for: column c has the same
// frequency as the kept column fold(c).
void copy_transfer(const Smoother& s, float* transfer) {
    for (int32_t r = 0; r < s.height; ++r)
        for (int32_t c = 0; c < s.width; ++c)
            transfer[static_cast<size_t>(r) * s.width + c] =
                s.gain[static_cast<size_t>(r) * s.halfWidth + fold(c, s.width)];
}

int16_t to_int16(float v) { return static_cast<int16_t>(std::clamp(std::round(v), -32768.0f, 32767.0f)); }

}  // namespace

extern "C" {

void mklsmooth_tfset(int32_t width, int32_t height, float pixelSize, float cutoff, float* transfer,
                     int32_t /*flags*/) {
    const std::lock_guard<std::mutex> hold(g_lock);
    // Released first so the old and new buffers are never held together.
    g_smoother.reset();
    if (!valid_side(width) || !valid_side(height) || !valid_length(pixelSize) || !valid_length(cutoff)) return;
    try {
        g_smoother = make_smoother(width, height, pixelSize, cutoff);
    } catch (const std::bad_alloc&) {
        return;
    }
    if (g_smoother && transfer) copy_transfer(*g_smoother, transfer);
}

void mklsmooth_wotf(const int16_t* in, int16_t* out, int32_t width, int32_t height) {
    const std::lock_guard<std::mutex> hold(g_lock);
    const Smoother* s = g_smoother.get();
    if (!s || !in || !out || width != s->width || height != s->height) return;
    const size_t pixels = static_cast<size_t>(width) * height;
    float* image = s->image.get();
    std::copy(in, in + pixels, image);
    fftwf_execute(s->forward.get());
    // The unnormalised inverse scales by the pixel count; undo it here.
    const float scale = 1.0f / static_cast<float>(pixels);
    fftwf_complex* spectrum = s->spectrum.get();
    for (size_t i = 0; i < s->gain.size(); ++i) {
        const float g = s->gain[i] * scale;
        spectrum[i][0] *= g;
        spectrum[i][1] *= g;
    }
    fftwf_execute(s->inverse.get());
    std::transform(image, image + pixels, out, to_int16);
}

void mklsmooth_tffree(void) {
    const std::lock_guard<std::mutex> hold(g_lock);
    g_smoother.reset();
}

}  // extern "C"
