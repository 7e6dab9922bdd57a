// The eight-worker frame: band split, joining, and the all-or-nothing start.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <new>
#include <set>
#include <thread>
#include <vector>

#include "band_frame.h"

using namespace lumvek_detail;

namespace {

// Starters that give out threads until call number g_failAt. They are plain
// functions (the frame takes a function pointer), so they count in globals;
// the frame calls its starter from the calling thread only.
int g_startCalls = 0;
int g_failAt = -1;

bool refusing_starter(WorkerThread& slot, std::function<void()> fn) {
    if (g_startCalls++ == g_failAt) return false;
    return start_worker_thread(slot, std::move(fn));
}

// Stands for a thread whose callable can't even be built (out of memory).
bool throwing_starter(WorkerThread& slot, std::function<void()> fn) {
    if (g_startCalls++ == g_failAt) throw std::bad_alloc();
    return start_worker_thread(slot, std::move(fn));
}

void arm_starter(int failAt) {
    g_startCalls = 0;
    g_failAt = failAt;
}

// A 512-row output of one int per row; -1 marks a row nobody wrote.
using RowOutput = std::vector<int>;

}  // namespace

TEST(BandFrame, EightBandsCoverEveryRowOnceOnSeparateThreads) {
    std::array<std::atomic<int>, kSide> hits{};
    std::array<int, kWorkers> begins{};
    std::array<int, kWorkers> ends{};
    std::array<std::thread::id, kWorkers> ids{};
    const bool ok = run_bands([&](int k, int rowBegin, int rowEnd) {
        begins[k] = rowBegin;
        ends[k] = rowEnd;
        ids[k] = std::this_thread::get_id();
        for (int row = rowBegin; row < rowEnd; ++row) hits[row].fetch_add(1);
    });
    ASSERT_TRUE(ok);
    for (int k = 0; k < kWorkers; ++k) {
        EXPECT_EQ(begins[k], 64 * k);
        EXPECT_EQ(ends[k], 64 * k + 64);
    }
    for (int row = 0; row < kSide; ++row) EXPECT_EQ(hits[row].load(), 1) << "row " << row;
    const std::set<std::thread::id> distinct(ids.begin(), ids.end());
    EXPECT_EQ(distinct.size(), 8u);
    EXPECT_EQ(distinct.count(std::this_thread::get_id()), 0u);
}

TEST(BandFrame, ReturnsOnlyAfterEveryBandHasFinished) {
    // Slow bands with plain (non-atomic) writes: the output must be complete
    // when the call returns, which only joining guarantees.
    RowOutput out(kSide, -1);
    const bool ok = run_bands([&](int k, int rowBegin, int rowEnd) {
        std::this_thread::sleep_for(std::chrono::milliseconds(k % 2 == 0 ? 30 : 5));
        for (int row = rowBegin; row < rowEnd; ++row) out[row] = k;
    });
    ASSERT_TRUE(ok);
    for (int row = 0; row < kSide; ++row) ASSERT_EQ(out[row], row / 64) << "row " << row;
}

TEST(BandFrame, AThreadThatCannotStartLeavesTheOutputUntouched) {
    for (auto starter : {refusing_starter, throwing_starter}) {
        arm_starter(5);
        RowOutput out(kSide, -1);
        std::atomic<int> bodies{0};
        const bool ok = run_bands(
            [&](int k, int rowBegin, int rowEnd) {
                bodies.fetch_add(1);
                for (int row = rowBegin; row < rowEnd; ++row) out[row] = k;
            },
            starter);
        EXPECT_FALSE(ok);
        EXPECT_EQ(g_startCalls, 6) << "no further start after the failing one";
        EXPECT_EQ(bodies.load(), 0);
        EXPECT_EQ(out, RowOutput(kSide, -1));
    }
}

TEST(BandFrame, AWorkerThatIsNotReadyAbandonsTheWholeCall) {
    // Worker 3 can't build its tables: nobody may write, and the caller
    // learns that the output was left alone.
    std::array<int, kWorkers> out{};
    out.fill(-1);
    std::atomic<int> waits{0};
    const bool ok = run_workers(kWorkers, [&](int k, WorkerGate& gate) {
        waits.fetch_add(1);
        if (gate.wait(k != 3)) out[k] = k;
    });
    EXPECT_FALSE(ok);
    EXPECT_EQ(waits.load(), 8);
    for (int v : out) EXPECT_EQ(v, -1);
}

TEST(BandFrame, WorkerCountsOutsideOneToEightRunNothing) {
    std::atomic<int> bodies{0};
    const WorkerBody body = [&](int, WorkerGate& gate) {
        if (gate.wait(true)) bodies.fetch_add(1);
    };
    EXPECT_FALSE(run_workers(0, body));
    EXPECT_FALSE(run_workers(9, body));
    EXPECT_EQ(bodies.load(), 0);

    std::array<int, kWorkers> seen{};
    EXPECT_TRUE(run_workers(4, [&](int k, WorkerGate& gate) {
        if (gate.wait(true)) seen[k] = 1;
    }));
    EXPECT_EQ(seen, (std::array<int, kWorkers>{1, 1, 1, 1, 0, 0, 0, 0}));
}
