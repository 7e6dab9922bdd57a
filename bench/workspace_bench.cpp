// The workspace as a user meets it: paging to a slice (read, convert, blit),
// one move of a right-drag window level (convert, blit, boxes), the MPR of
// 200 slices, and "Read" of a 500-slice folder, side by side with pydicom
// reading the same headers; and "Read" of the same series compressed with
// JPEG-LS, side by side with pydicom decoding it.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "platform/script/script_ui.h"
#include "workspace.h"

namespace {

namespace fs = std::filesystem;

// A folder under the temporary folder, made by `command` (given the folder)
// unless `done` is already in it: generated once, kept for later runs.
std::string generatedFolder(const std::string& name, const std::string& done, const std::string& command) {
    const std::string dir = (fs::temp_directory_path() / name).string() + "/";
    if (!fs::exists(dir + done)) {
        fs::create_directories(dir);
        if (std::system(("cd " + dir + " && " + command).c_str()) != 0)
            std::fprintf(stderr, "cannot generate %s\n", dir.c_str());
    }
    return dir;
}

const std::string& series500() {
    static const std::string folder = generatedFolder(
        "halvex-bench-series500", "phantom_truth.txt",
        fs::read_symlink("/proc/self/exe").parent_path().string() + "/phantom --out . --slices 500 --noise 10 > /dev/null");
    return folder;
}

// The same slices compressed by dcmtk (lossless JPEG-LS).
const std::string& jpegLs500() {
    static const std::string folder = generatedFolder(
        "halvex-bench-jpegls500", "PH0500.dcm",
        "for f in " + series500() + "PH*.dcm; do dcmcjpls $f $(basename $f) || exit 1; done");
    return folder;
}

struct BenchWorkspace {
    std::ostringstream echo;
    halvex::ScriptUi ui{echo};
    halvex::Workspace ws{ui};
    fs::path appFolder = fs::temp_directory_path() / "halvex-bench-app";
    BenchWorkspace() {
        fs::create_directories(appFolder);
        ws.start(appFolder.string());
    }
    void readFolder(const std::string& folder) {
        ui.queueFile(folder + "PH0001.dcm");
        ui.queueAnswer(folder);
        ws.guard.run([&] { ws.main.DSORT.click(); });
    }
};

void BM_ReadFolder500(benchmark::State& state) {
    const std::string folder = series500();
    for (auto _ : state) {
        BenchWorkspace b;
        b.readFolder(folder);
        if (b.ws.store.sliceCount != 500) state.SkipWithError("not every slice was read");
    }
}
BENCHMARK(BM_ReadFolder500)->Unit(benchmark::kMillisecond)->Iterations(3);

// Runs a Python program that prints the seconds it took (or nothing when it
// can't do its job) as the iteration time.
void timePython(benchmark::State& state, const std::string& program) {
    const std::string cmd = "/usr/bin/python3 -c \"" + program + "\"";
    for (auto _ : state) {
        FILE* p = popen(cmd.c_str(), "r");
        double seconds = -1;
        if (!p || std::fscanf(p, "%lf", &seconds) != 1) seconds = -1;
        if (p) pclose(p);
        if (seconds < 0) {
            state.SkipWithError("pydicom could not do it (not installed, or no decoder for these files)");
            break;
        }
        state.SetIterationTime(seconds);
    }
}

// pydicom's header read over the same folder, timed inside Python.
void BM_PydicomReadFolder500(benchmark::State& state) {
    timePython(state, "import glob,time,pydicom\n"
                      "files=sorted(glob.glob('" + series500() + "*.dcm'))\n"
                      "t=time.perf_counter()\n"
                      "for f in files: pydicom.dcmread(f, stop_before_pixels=True)\n"
                      "print(time.perf_counter()-t)");
}
BENCHMARK(BM_PydicomReadFolder500)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// "Read" of 500 JPEG-LS files: headers, decoding on every core, the cache.
void BM_ReadJpegLs500(benchmark::State& state) {
    const std::string folder = jpegLs500();
    for (auto _ : state) {
        BenchWorkspace b;
        b.readFolder(folder);
        if (b.ws.store.sliceCount != 500) state.SkipWithError("not every slice was read");
    }
}
BENCHMARK(BM_ReadJpegLs500)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// pydicom reading and decoding the same files with the decoders it has (it
// prints nothing, and the benchmark says so, when it has none for JPEG-LS).
void BM_PydicomDecodeJpegLs500(benchmark::State& state) {
    timePython(state, "import glob,time,pydicom\n"
                      "files=sorted(glob.glob('" + jpegLs500() + "*.dcm'))\n"
                      "t=time.perf_counter()\n"
                      "for f in files: pydicom.dcmread(f).pixel_array\n"
                      "print(time.perf_counter()-t)");
}
BENCHMARK(BM_PydicomDecodeJpegLs500)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// One step of the scroll bar: read the slice file, convert, blit, ROI value.
void BM_PageOneSlice(benchmark::State& state) {
    BenchWorkspace b;
    b.readFolder(series500());
    int slice = 0;
    for (auto _ : state) {
        slice = (slice + 1) % 500;
        b.ws.main.HS1.setValue(slice);
    }
}
BENCHMARK(BM_PageOneSlice)->Unit(benchmark::kMillisecond);

// One pointer move of a right-drag: the new window, the conversion, the blit
// and the boxes; the release adds the overlay.
void BM_WindowDragMove(benchmark::State& state) {
    BenchWorkspace b;
    b.readFolder(series500());
    b.ws.main.viewMouseDown(2, 100, 100);
    int x = 100;
    for (auto _ : state) b.ws.main.viewMouseMove(2, float(++x % 400), 120);
    b.ws.main.viewMouseUp(2, 100, 120);
}
BENCHMARK(BM_WindowDragMove)->Unit(benchmark::kMillisecond);

// A coronal plane through 200 slices (1 mm apart, 0.49 mm pixels: 406
// lines), slices read from the page cache and the plane appended.
void BM_Mpr200Slices(benchmark::State& state) {
    BenchWorkspace b;
    b.readFolder(series500());
    for (auto _ : state) {
        for (const char* a : {"1", "200", "0", "1"}) b.ui.queueAnswer(a);
        b.ws.guard.run([&] { b.ws.main.MPRGO.click(); });
        state.PauseTiming();
        if (b.ws.store.sliceCount != 501) state.SkipWithError("no plane was appended");
        b.ws.guard.run([&] {
            b.ws.store.sliceCount = 500;  // the appended plane goes again
            b.ws.store.tempSlotCount = 0;
        });
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Mpr200Slices)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
