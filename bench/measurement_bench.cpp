// The edge MTF commands of the measurement window on a 128 x 128 ROI, each
// with its drawing (the ESF points, the LSF, the graph), and a redraw of the
// MTF graph with seven curves.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <sstream>

#include "phantom_model.h"
#include "platform/script/script_ui.h"
#include "workspace/workspace.h"

namespace {

namespace fs = std::filesystem;

// A workspace showing one noise-free phantom slice with a wide tilted block
// and a 60 mm rod, the measurement window open.
struct EdgeBench {
    std::ostringstream echo;
    halvex::ScriptUi ui{echo};
    halvex::Workspace ws{ui};
    halvex::CTPSFF& mw = ws.measurement;

    EdgeBench() {
        const fs::path app = fs::temp_directory_path() / "halvex-bench-measurement";
        fs::create_directories(app);
        ws.start(app.string());
        phantom::Phantom object;
        object.block = {-40.0, 0.0, 60.0, 100.0, 3.0, 1000.0};
        object.rod = {50.0, 0.0, 60.0, 1000.0};
        phantom::SliceSampler sampler(object, 250.0, phantom::Blur{0.5, 1.0});
        std::vector<double> hu;
        sampler.sliceHu(0.0, hu);
        phantom::toStored(hu, 1024.0, ws.store.workImage);
        ws.store.sliceCount = 1;
        ws.store.workCtOffset = -1024;
        ws.store.currentDfov = 250.0f;
        ws.main.SHOWMW.click();
    }

    // The block's left edge (-70 mm, column 112) or the rod (centre 358, 256).
    void roi(bool circular) {
        if (circular) ws.main.placeRoi(294, 192, 128, 128);
        else ws.main.placeRoi(48, 192, 128, 128);
    }

    // From the ESF to the zeroing state.
    void toZeroing() {
        roi(false);
        mw.EDGE.click();
        mw.AUTOEDGE.click();
        mw.EDGEOK.click();
        mw.BASESET.click();
    }

    void storeCurve(int slot) {
        ui.queueAnswer(std::to_string(slot));
        mw.MTFCLC.click();
    }
};

void BM_LinearEdgeSetUp(benchmark::State& state) {
    EdgeBench b;
    b.roi(false);
    for (auto _ : state) b.mw.EDGE.click();
}
BENCHMARK(BM_LinearEdgeSetUp)->Unit(benchmark::kMillisecond);

void BM_CircularEdgeSetUp(benchmark::State& state) {
    EdgeBench b;
    b.roi(true);
    for (auto _ : state) b.mw.REDGE.click();
}
BENCHMARK(BM_CircularEdgeSetUp)->Unit(benchmark::kMillisecond);

void BM_CircularEdgeArrow(benchmark::State& state) {
    EdgeBench b;
    b.roi(true);
    b.mw.REDGE.click();
    int i = 0;
    for (auto _ : state) b.mw.CENADJ.click(i++ % 2);
}
BENCHMARK(BM_CircularEdgeArrow)->Unit(benchmark::kMillisecond);

void BM_AutoEdgeCircle(benchmark::State& state) {
    EdgeBench b;
    b.roi(true);
    b.mw.REDGE.click();
    for (auto _ : state) b.mw.AUTOEDGE.click();
}
BENCHMARK(BM_AutoEdgeCircle)->Unit(benchmark::kMillisecond);

void BM_EdgeOk(benchmark::State& state) {
    EdgeBench b;
    b.roi(false);
    b.mw.EDGE.click();
    b.mw.AUTOEDGE.click();
    for (auto _ : state) {
        state.PauseTiming();
        b.mw.EDGE.click();  // Edge_OK leaves the ESF state; set it up again untimed
        state.ResumeTiming();
        b.mw.EDGEOK.click();
    }
}
BENCHMARK(BM_EdgeOk)->Unit(benchmark::kMillisecond);

void BM_MtfCalcAndStore(benchmark::State& state) {
    EdgeBench b;
    for (auto _ : state) {
        state.PauseTiming();
        b.toZeroing();
        state.ResumeTiming();
        b.storeCurve(1);
    }
}
BENCHMARK(BM_MtfCalcAndStore)->Unit(benchmark::kMillisecond);

void BM_MtfGraphRedraw(benchmark::State& state) {
    EdgeBench b;
    for (int slot = 1; slot <= 7; ++slot) {
        b.toZeroing();
        b.storeCurve(slot);
    }
    for (auto _ : state) b.mw.MTFDSP(false);
}
BENCHMARK(BM_MtfGraphRedraw)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
