// 3D-MORV with the default parameters on 160 phantom slices of 512 x 512,
// DFOV 256 mm (0.5 mm pixels), 1 mm apart: 319 cubic slices, two passes.
// Reports the wall-clock time of each stage, the peak memory, and the noise
// and edge figures before and after (SD in uniform water, 10-90 % width of
// the rod's edge).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string_view>

#include "phantom_model.h"
#include "platform/script/script_ui.h"
#include "workspace.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Notes when each stage's caption first shows.
class TimingUi : public halvex::ScriptUi {
public:
    using ScriptUi::ScriptUi;
    void captionChanged(const std::string&, const std::string& caption) override {
        // The stage text is the caption without its counter (" 5/ 199").
        std::string stage = caption;
        while (!stage.empty() && std::string_view(" /-0123456789").find(stage.back()) != std::string_view::npos)
            stage.pop_back();
        if (stage.empty()) stage = caption.find('/') != std::string::npos ? "along-edge pass" : "loading";
        if (stage == current) return;
        close();
        current = stage;
        since = Clock::now();
    }
    void close() {
        if (!current.empty()) seconds[current] += std::chrono::duration<double>(Clock::now() - since).count();
        current.clear();
    }
    std::string current;
    Clock::time_point since;
    std::map<std::string, double> seconds;
};

double waterSd(const int16_t* s) {
    double sum = 0, sq = 0;
    int n = 0;
    for (int r = 224; r < 288; ++r)
        for (int c = 224; c < 288; ++c) sum += s[r * 512 + c], sq += double(s[r * 512 + c]) * s[r * 512 + c], ++n;
    return std::sqrt(sq / n - (sum / n) * (sum / n));
}

// 10-90 % width (mm) of the rod's left edge (water to rod): rows 250..261
// averaged, columns 62..100, linear interpolation of the crossings.
double edgeWidth(const int16_t* s, double pixel) {
    std::vector<double> profile;
    for (int c = 62; c <= 100; ++c) {
        double v = 0;
        for (int r = 250; r <= 261; ++r) v += s[r * 512 + c];
        profile.push_back(v / 12);
    }
    const double low = profile.front(), high = profile.back();
    auto crossing = [&](double fraction) {
        const double level = low + fraction * (high - low);
        for (size_t i = 1; i < profile.size(); ++i)
            if ((profile[i - 1] - level) * (profile[i] - level) <= 0 && profile[i] != profile[i - 1])
                return double(i - 1) + (level - profile[i - 1]) / (profile[i] - profile[i - 1]);
        return 0.0;
    };
    return std::fabs(crossing(0.9) - crossing(0.1)) * pixel;
}

void BM_NoiseReductionDefault(benchmark::State& state) {
    constexpr int kSlices = 160;
    const fs::path app = fs::temp_directory_path() / "halvex-bench-nr";
    fs::remove_all(app);
    fs::create_directories(app);
    for (auto _ : state) {
        std::ostringstream echo;
        TimingUi ui(echo);
        halvex::Workspace ws(ui);
        ws.start(app.string() + "/");
        phantom::SliceSampler sampler(phantom::standardPhantom(80, 0, -70), 256.0, phantom::Blur{0.4, 0.5});
        std::vector<double> hu;
        for (int k = 0; k < kSlices; ++k) {
            sampler.sliceHu(k, hu);
            phantom::addNoise(hu, 10.0, 3, k);
            phantom::toStored(hu, 1024.0, ws.store.workImage);
            halvex::STOREIMG(ws.store, -1024, static_cast<float>(k), 256.0f);
        }
        for (const char* a : {"1", "160", "0"}) ui.queueAnswer(a);
        ui.queueReply(halvex::Reply::Yes);
        ui.seconds.clear();
        ui.current.clear();
        const auto start = Clock::now();
        ws.guard.run([&] { ws.main.PROC2.click(); });
        ui.close();
        const double total = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(total);

        std::vector<int16_t> before(halvex::kSlicePixels), after(halvex::kSlicePixels);
        halvex::readSlicePixels(ws.store, ws.store.slices[80], before.data());
        halvex::readSlicePixels(ws.store, ws.store.slices[size_t(kSlices + 80)], after.data());
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf("3D-MORV on %d slices: %.1f s, appended %d slices, peak memory %.0f MiB\n", kSlices, total,
                    ws.store.sliceCount - kSlices, usage.ru_maxrss / 1024.0);
        for (const auto& [stage, seconds] : ui.seconds) std::printf("  %-26s %7.1f s\n", stage.c_str(), seconds);
        std::printf("SD in water %.2f -> %.2f HU; 10-90 %% width of the rod's edge %.3f -> %.3f mm\n",
                    waterSd(before.data()), waterSd(after.data()), edgeWidth(before.data(), 0.5),
                    edgeWidth(after.data(), 0.5));
    }
    fs::remove_all(app);
}
BENCHMARK(BM_NoiseReductionDefault)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
