// The workspace as a user meets it: paging to a slice (read, convert, blit)
// and "Read" of a 500-slice folder, side by side with pydicom reading the
// same headers.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "platform/script/script_ui.h"
#include "workspace/workspace.h"

namespace {

namespace fs = std::filesystem;

// Generated once per run with the phantom tool beside this program.
const std::string& series500() {
    static const std::string folder = [] {
        const std::string dir = (fs::temp_directory_path() / "halvex-bench-series500").string() + "/";
        if (!fs::exists(dir + "phantom_truth.txt")) {
            const std::string phantom = fs::read_symlink("/proc/self/exe").parent_path().string() + "/phantom";
            const std::string cmd = phantom + " --out " + dir + " --slices 500 --noise 10 > /dev/null";
            if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "cannot generate %s\n", dir.c_str());
        }
        return dir;
    }();
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

// pydicom's header read over the same folder, timed inside Python.
void BM_PydicomReadFolder500(benchmark::State& state) {
    const std::string folder = series500();
    const std::string cmd =
        "/usr/bin/python3 -c \"import glob,time,pydicom\n"
        "files=sorted(glob.glob('" + folder + "*.dcm'))\n"
        "t=time.perf_counter()\n"
        "for f in files: pydicom.dcmread(f, stop_before_pixels=True)\n"
        "print(time.perf_counter()-t)\"";
    for (auto _ : state) {
        FILE* p = popen(cmd.c_str(), "r");
        double seconds = -1;
        if (!p || std::fscanf(p, "%lf", &seconds) != 1) seconds = -1;
        if (p) pclose(p);
        if (seconds < 0) {
            state.SkipWithError("pydicom is not available");
            break;
        }
        state.SetIterationTime(seconds);
    }
}
BENCHMARK(BM_PydicomReadFolder500)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

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

}  // namespace

BENCHMARK_MAIN();
