// The edge MTF commands of the measurement window on a 128 x 128 ROI, each
// with its drawing (the ESF points, the LSF, the graph), and a redraw of the
// MTF graph with seven curves; the noise spectra ("Radial NPS" of a 256 x 256
// ROI, "Virtual Slit" averaged over 50 slices read back from the stack file)
// and the 2D-FFT MTF of a wire, each with its store, export and graph; the SSP
// over 100 slices and the ESF of "Circular Proc" over 20; a d' run
// (NPWE with internal noise) from a stored MTF and NPS.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <sstream>

#include "phantom_model.h"
#include "platform/script/script_ui.h"
#include "workspace.h"

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

// A workspace whose stack file holds `slices` slices made by `fill` (CT
// values of slice k), the first on show, the measurement window open.
struct SeriesBench {
    std::ostringstream echo;
    halvex::ScriptUi ui{echo};
    halvex::Workspace ws{ui};
    halvex::CTPSFF& mw = ws.measurement;

    SeriesBench(int slices, const std::function<void(int, std::vector<double>&)>& fill) {
        const fs::path app = fs::temp_directory_path() / "halvex-bench-series";
        fs::remove_all(app);
        fs::create_directories(app);
        ws.start(app.string());
        std::vector<double> hu(phantom::kSliceSize);
        std::vector<int16_t> first;
        for (int s = 0; s < slices; ++s) {
            std::fill(hu.begin(), hu.end(), 0.0);
            fill(s, hu);
            phantom::toStored(hu, 1024.0, ws.store.workImage);
            halvex::STOREIMG(ws.store, -1024, static_cast<float>(s), 250.0f);
            if (s == 0) first = ws.store.workImage;
        }
        ws.store.workImage = first;
        ws.store.currentSlice = 0;
        ws.store.workCtOffset = -1024;
        ws.store.currentDfov = 250.0f;
        ws.main.SHOWMW.click();
    }
    void click(halvex::Button& b, std::initializer_list<const char*> answers) {
        for (const char* a : answers) ui.queueAnswer(a);
        b.click();
    }
};

// White noise (SD 20 HU) about water, with a wire (2000 HU, sigma 1.5 px)
// at the slice centre.
void noiseAndWire(int s, std::vector<double>& hu) {
    for (int r = -8; r <= 8; ++r)
        for (int c = -8; c <= 8; ++c) hu[size_t(256 + r) * 512 + 256 + c] = 2000 * std::exp(-(r * r + c * c) / 4.5);
    phantom::addNoise(hu, 20.0, 5, s);
}

void BM_RadialNps256(benchmark::State& state) {
    SeriesBench b(1, noiseAndWire);
    b.ws.main.placeRoi(128, 128, 256, 256);
    for (auto _ : state) b.click(b.mw.NPSRF, {"1"});
}
BENCHMARK(BM_RadialNps256)->Unit(benchmark::kMillisecond);

void BM_SlitNpsOver50Slices(benchmark::State& state) {
    SeriesBench b(50, noiseAndWire);
    b.ws.main.placeRoi(128, 128, 256, 256);
    for (auto _ : state) b.click(b.mw.NPSVS, {"1", "1", "50", "1"});
}
BENCHMARK(BM_SlitNpsOver50Slices)->Unit(benchmark::kMillisecond);

void BM_Fft2dMtf(benchmark::State& state) {
    SeriesBench b(1, noiseAndWire);
    b.ws.main.placeRoi(206, 206, 100, 100);
    for (auto _ : state) b.click(b.mw.FFT2DMTF, {"0", "250", "1"});
}
BENCHMARK(BM_Fft2dMtf)->Unit(benchmark::kMillisecond);

// SSP over 100 slices 0.5 mm apart: a 20 mm disc whose contrast follows a
// Gaussian of sigma 1.5 mm along z, with noise of SD 5 HU.
void BM_SspOver100Slices(benchmark::State& state) {
    SeriesBench b(100, [](int s, std::vector<double>& hu) {
        const double z = (s - 50) * 0.5, contrast = 300 * std::exp(-z * z / (2 * 1.5 * 1.5));
        for (int r = 236; r < 276; ++r)
            for (int c = 236; c < 276; ++c) hu[size_t(r) * 512 + c] = contrast;
        phantom::addNoise(hu, 5.0, 7, s);
    });
    b.ws.main.placeRoi(246, 246, 20, 20);
    for (auto _ : state) b.click(b.mw.SSPMES, {"1", "100", "1"});
    if (b.mw.caption().rfind("FWHM= ", 0) != 0) state.SkipWithError(("no SSP: " + b.mw.caption()).c_str());
}
BENCHMARK(BM_SspOver100Slices)->Unit(benchmark::kMillisecond);

// "Circular Proc" step 4: the ESF of a rod (25 mm, +1000 HU, sigma 0.5 mm)
// drifting over 20 slices, 128 x 128 ROI.
void BM_CircularProcEsf(benchmark::State& state) {
    SeriesBench b(20, [](int s, std::vector<double>& hu) {
        phantom::Phantom object;
        object.rod = {0.1 * s, 0.05 * s, 50.0, 1000.0};
        phantom::SliceSampler(object, 250.0, phantom::Blur{0.5, 1.0}).sliceHu(0.0, hu);
    });
    b.ws.main.placeRoi(192, 192, 128, 128);
    b.mw.REDGE.click();
    b.click(b.mw.REDGEPRO, {"1", "1"});
    b.click(b.mw.REDGEPRO, {"3", "20"});
    for (auto _ : state) b.click(b.mw.REDGEPRO, {"4", "1", "20"});
    if (b.mw.caption().rfind("ESF of slices", 0) != 0) state.SkipWithError(("no ESF: " + b.mw.caption()).c_str());
}
BENCHMARK(BM_CircularProcEsf)->Unit(benchmark::kMillisecond);

// "Detectability": the prompts, d' over the curves' common range (2000
// Simpson intervals, splines through both slots), clipboard and graph.
void BM_Detectability(benchmark::State& state) {
    EdgeBench b;
    b.toZeroing();
    b.storeCurve(1);
    std::vector<double> hu(phantom::kSliceSize, 0.0);
    phantom::addNoise(hu, 20.0, 7, 0);
    phantom::toStored(hu, 1024.0, b.ws.store.workImage);
    b.ws.main.placeRoi(128, 128, 256, 256);
    b.ui.queueAnswer("1");
    b.mw.NPSRF.click();
    for (auto _ : state) {
        for (const char* a : {"5", "10", "1", "1", "1", "500", "1", "1"}) b.ui.queueAnswer(a);
        b.mw.DPRIME.click();
    }
    if (b.mw.caption().rfind("d'= ", 0) != 0) state.SkipWithError(("no d': " + b.mw.caption()).c_str());
}
BENCHMARK(BM_Detectability)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
