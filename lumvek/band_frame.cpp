#include "band_frame.h"

#include <array>
#include <atomic>
#include <latch>

namespace lumvek_detail {

namespace {
constexpr size_t kWorkerStackBytes = 512 * 1024;
}  // namespace

void* WorkerThread::run(void* fn) noexcept {
    (*static_cast<std::function<void()>*>(fn))();
    return nullptr;
}

bool WorkerThread::start(std::function<void()> fn) noexcept {
    if (running_) return false;
    try {
        fn_ = std::make_unique<std::function<void()>>(std::move(fn));
    } catch (...) {
        return false;
    }
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) return false;
    pthread_attr_setstacksize(&attributes, kWorkerStackBytes);
    running_ = pthread_create(&id_, &attributes, &WorkerThread::run, fn_.get()) == 0;
    pthread_attr_destroy(&attributes);
    return running_;
}

void WorkerThread::join() noexcept {
    if (!running_) return;
    pthread_join(id_, nullptr);
    running_ = false;
}

bool start_worker_thread(WorkerThread& slot, std::function<void()> fn) noexcept { return slot.start(std::move(fn)); }

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
    std::array<WorkerThread, kWorkers> threads;
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
