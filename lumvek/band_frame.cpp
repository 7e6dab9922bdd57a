#include "band_frame.h"

#include <array>
#include <atomic>
#include <latch>

namespace lumvek_detail {

bool start_std_thread(std::thread& slot, std::function<void()> fn) noexcept {
    try {
        slot = std::thread(std::move(fn));
        return true;
    } catch (...) {
        return false;
    }
}

namespace {

// Holds every worker until all of them are running and ready, so that a
// call either writes with all its workers or not at all.
class StartLatch final : public WorkerGate {
public:
    explicit StartLatch(int parties) : arrived_(parties + 1) {}

    bool wait(bool ready) override {
        if (!ready) abandoned_.store(true);
        arrived_.arrive_and_wait();
        return !abandoned_.load();
    }

    // The caller's part: every worker has been started, or `missing` of them
    // never will be.
    void release(int missing) {
        if (missing > 0) abandoned_.store(true);
        arrived_.count_down(missing + 1);
    }

    // Read after the workers are joined: whether anyone gave up.
    bool abandoned() const { return abandoned_.load(); }

private:
    std::latch arrived_;
    std::atomic<bool> abandoned_{false};
};

}  // namespace

bool run_workers(int count, const WorkerBody& body, ThreadStarter start) noexcept {
    if (count < 1 || count > kWorkers) return false;
    StartLatch gate(count);
    std::array<std::thread, kWorkers> threads;
    int started = 0;
    while (started < count) {
        const int k = started;
        // Building the thread's callable may itself fail for lack of memory;
        // that is one more thread that can't be had, not a reason to end
        // the host.
        bool ok = false;
        try {
            ok = start(threads[k], [&body, &gate, k] { body(k, gate); });
        } catch (...) {
        }
        if (!ok) break;
        ++started;
    }
    gate.release(count - started);
    for (int k = 0; k < started; ++k) threads[k].join();
    return !gate.abandoned();
}

bool run_bands(const std::function<void(int worker, int rowBegin, int rowEnd)>& band, ThreadStarter start) noexcept {
    return run_workers(
        kWorkers,
        [&band](int k, WorkerGate& gate) {
            if (gate.wait(true)) band(k, k * kBandRows, (k + 1) * kBandRows);
        },
        start);
}

}  // namespace lumvek_detail
