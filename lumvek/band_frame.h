// The worker frame shared by every multi-threaded export, and the small
// numeric rules that all kernels follow. Internal to the library.
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <pthread.h>

namespace lumvek_detail {

inline constexpr int kSide = 512;
inline constexpr int kSliceSize = kSide * kSide;  // 262144 elements
inline constexpr int kWorkers = 8;                 // fixed, not taken from the hardware
inline constexpr int kBandRows = kSide / kWorkers; // 64 rows per worker

// Every worker calls wait() exactly once, after it has built whatever it needs
// of its own and before it writes anything. It returns false when the call has
// been abandoned (a worker could not be started or could not build its
// tables); the worker must then return without writing.
class WorkerGate {
public:
    virtual bool wait(bool ready) = 0;

protected:
    ~WorkerGate() = default;
};

using WorkerBody = std::function<void(int worker, WorkerGate& gate)>;

// One worker thread. Its stack is kept small (the workers keep their tables on
// the heap): creating eight threads is most of a threaded call's fixed cost,
// and a 512 KiB stack about halves it against the default 8 MiB.
class WorkerThread {
public:
    WorkerThread() = default;
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;
    ~WorkerThread() { join(); }

    // Starts fn; false when no thread can be had.
    bool start(std::function<void()> fn) noexcept;
    void join() noexcept;

private:
    static void* run(void* fn) noexcept;
    pthread_t id_{};
    bool running_ = false;
    std::unique_ptr<std::function<void()>> fn_;
};

// Starts fn on the slot's thread; false when no thread can be had.
using ThreadStarter = bool (*)(WorkerThread& slot, std::function<void()> fn);

bool start_worker_thread(WorkerThread& slot, std::function<void()> fn) noexcept;

// Runs body on `count` new threads (at most kWorkers), joins them in index
// order and returns true. If a thread can't be started, or a worker passes
// wait(false), every worker is released without writing, all are joined and
// false is returned: the output stays untouched.
bool run_workers(int count, const WorkerBody& body, ThreadStarter start = start_worker_thread) noexcept;

// The common case: 8 workers, worker k handling output rows [64k, 64k + 64).
bool run_bands(const std::function<void(int worker, int rowBegin, int rowEnd)>& band,
               ThreadStarter start = start_worker_thread) noexcept;

// Runs f and swallows any failure (an allocation that can't be had): no
// exception may leave the C interface, and a failed call writes nothing more.
template <class F>
void guarded(F&& f) noexcept {
    try {
        f();
    } catch (...) {
    }
}

// Float to int32 toward zero, saturating instead of overflowing (NaN gives 0).
inline int32_t trunc_to_int(float v) noexcept {
    if (!(v == v)) return 0;
    if (v >= 2147483520.0f) return INT32_MAX;  // largest float below 2^31
    if (v <= -2147483648.0f) return INT32_MIN;
    return static_cast<int32_t>(v);
}

// Half away from zero: add 0.5 to a non-negative value or subtract 0.5 from a
// negative one, in single precision, then truncate.
// Adding copysign(0.5, v) is the same float operation without a branch, so
// loops that use it vectorise.
inline int32_t round_nearest(float v) noexcept { return trunc_to_int(v + std::copysign(0.5f, v)); }

// Add 0.5 and truncate (differs from round_nearest below zero).
inline int32_t round_half_up(float v) noexcept { return trunc_to_int(v + 0.5f); }

// A 16-bit store keeps the low 16 bits.
inline int16_t low16(int32_t v) noexcept { return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(v))); }

// A 16-bit store that clamps to -32768 ... 32767: where a filter overshoots
// (a bright edge enhanced past the range), wrapping would turn the brightest
// values into the darkest.
inline int16_t saturate16(int32_t v) noexcept {
    return static_cast<int16_t>(v < INT16_MIN ? INT16_MIN : (v > INT16_MAX ? INT16_MAX : v));
}

// Radius of a Gaussian window from its sigma, in single precision.
inline int radius_from_sigma(float sigma) noexcept { return trunc_to_int(sigma * 1.6666666f + 0.499f); }

inline int clamp_index(int i, int hi) noexcept { return i < 0 ? 0 : (i > hi ? hi : i); }

// Catmull-Rom through p[1] (t = 0) and p[2] (t = 1). It passes through the
// samples, so a position on a pixel gives that pixel back unchanged. The
// display zoom and the resampling kernels share it, so that a resampled
// slice looks like the zoomed view.
inline float catmull_rom(const float p[4], float t) noexcept {
    const float a = -0.5f * p[0] + 1.5f * p[1] - 1.5f * p[2] + 0.5f * p[3];
    const float b = p[0] - 2.5f * p[1] + 2.0f * p[2] - 0.5f * p[3];
    const float c = 0.5f * p[2] - 0.5f * p[0];
    return ((a * t + b) * t + c) * t + p[1];
}

}  // namespace lumvek_detail
