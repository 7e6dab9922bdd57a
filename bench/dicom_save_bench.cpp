// "DICOM" saving 500 slices of a series read from the page cache, side by
// side with pydicom writing the same 500 slices from datasets it has already
// read (its write time alone, timed inside Python). Each side writes the 500
// files once untimed first.
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

// The same series as the workspace benchmark, generated once per machine.
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

// Where both sides write: memory (/dev/shm) where there is one. On a disk
// file system, creating 500 files right after 500 others were removed costs
// more in the file system's search for free inodes than all the writing, and
// that cost swings with what ran minutes before; it measures neither writer.
fs::path outputBase() {
    std::error_code ec;
    return fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
}

// An empty output folder for one save.
std::string freshFolder(const std::string& name) {
    const fs::path dir = outputBase() / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir.string() + "/";
}

void BM_DicomSave500(benchmark::State& state) {
    std::ostringstream echo;
    halvex::ScriptUi ui{echo};
    halvex::Workspace ws{ui};
    const fs::path appFolder = fs::temp_directory_path() / "halvex-bench-app";
    fs::create_directories(appFolder);
    ws.start(appFolder.string());
    const std::string series = series500();
    ui.queueFile(series + "PH0001.dcm");
    ui.queueAnswer(series);
    ws.guard.run([&] { ws.main.DSORT.click(); });
    if (ws.store.sliceCount != 500) {
        state.SkipWithError("the series was not read");
        return;
    }
    auto saveAll = [&] {
        ui.queueFolder(freshFolder("halvex-bench-dicom-out"));
        for (const char* answer : {"1", "1", "500", "1", "20240131.093000"}) ui.queueAnswer(answer);
        echo.str("");
        const auto start = std::chrono::steady_clock::now();
        ws.guard.run([&] { ws.main.DICOMSVBTN.click(); });
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    // One save first, untimed, as pydicom gets one below: both are then
    // timed with the series in the page cache and memory just freed by the
    // files of the save before.
    saveAll();
    for (auto _ : state) {
        state.SetIterationTime(saveAll());
        if (ws.main.caption() != "dcmsave is done") state.SkipWithError("the save did not finish");
    }
    fs::remove_all(outputBase() / "halvex-bench-dicom-out");
}
BENCHMARK(BM_DicomSave500)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// pydicom's dcmwrite of the same 500 slices, read beforehand.
void BM_PydicomWrite500(benchmark::State& state) {
    const std::string series = series500();
    for (auto _ : state) {
        const std::string out = freshFolder("halvex-bench-pydicom-out");
        const std::string cmd =
            "/usr/bin/python3 -c \"import glob,os,shutil,time,pydicom\n"
            "sets=[pydicom.dcmread(f) for f in sorted(glob.glob('" + series + "*.dcm'))]\n"
            "def write():\n"
            "  for k,ds in enumerate(sets):\n"
            "    pydicom.dcmwrite('" + out + "%04d.dcm' % (k + 1), ds, write_like_original=False)\n"
            "write()\n"
            "shutil.rmtree('" + out + "')\n"
            "os.makedirs('" + out + "')\n"
            "t=time.perf_counter()\n"
            "write()\n"
            "print(time.perf_counter()-t)\"";
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
    fs::remove_all(outputBase() / "halvex-bench-pydicom-out");
}
BENCHMARK(BM_PydicomWrite500)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
