#include "evaluation/evaluation_command.h"

#include <cmath>
#include <cstdlib>
#include <set>

#include "evaluation/series_reader.h"
#include "platform/number_text.h"

namespace halvex {

namespace {

// Ends a run from inside its progress, when the user pressed Stop.
struct Stopped {};

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// "A-B" as 1-based slice numbers.
std::optional<std::pair<int, int>> sliceRange(const std::string& text) {
    const size_t dash = text.find('-', 1);
    if (dash == std::string::npos) return std::nullopt;
    const std::string a = trimmed(text.substr(0, dash)), b = trimmed(text.substr(dash + 1));
    if (a.empty() || b.empty() || a.find_first_not_of("0123456789") != std::string::npos ||
        b.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::pair{textToInt(a), textToInt(b)};
}

// "5:10,3:-20" as tasks; nothing when a pair is not diameter:contrast.
std::optional<std::vector<DetectabilityTask>> taskList(const std::string& text) {
    std::vector<DetectabilityTask> tasks;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = text.find(',', start);
        const std::string item = trimmed(text.substr(start, comma == std::string::npos ? comma : comma - start));
        const size_t colon = item.find(':');
        if (colon == std::string::npos) return std::nullopt;
        const double d = leadingNumber(item.substr(0, colon)), c = leadingNumber(item.substr(colon + 1));
        if (!(d > 0) || !std::isfinite(c)) return std::nullopt;
        tasks.push_back({d, c});
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return tasks;
}

std::string contrastText(double contrast) {
    return (contrast < 0 ? "-" : "+") + formatFixed(std::fabs(contrast), "0") + " HU";
}

std::vector<float> asFloat(const std::vector<double>& v) { return std::vector<float>(v.begin(), v.end()); }

}  // namespace

struct EvaluationCommand::Answers {
    int first = 0, last = 0;            // 0-based
    std::optional<std::pair<int, int>> otherRange;  // 0-based
    std::string otherFolder;
    std::optional<std::vector<DetectabilityTask>> tasks;
    int bootstrap = 200;
    std::string folder;
};

bool EvaluationCommand::ask(const std::pair<std::string, std::string>& defaults, Answers& a) {
    const int count = store_.sliceCount;
    auto slice = [&](const std::string& prompt, const std::string& fallback, int& into) {
        const std::string answer = ui_.prompt(prompt, fallback);
        if (answer.empty()) return false;
        const int n = textToInt(answer);
        if (n < 1 || n > count) {
            ui_.message("Evaluate: give a slice number from 1 to " + std::to_string(count) + ".");
            return false;
        }
        into = n - 1;
        return true;
    };
    if (!slice("Evaluate from slice = ", defaults.first, a.first) || !slice("Evaluate to slice = ", defaults.second, a.last))
        return false;
    if (a.last < a.first) {
        ui_.message("Evaluate: the last slice comes before the first.");
        return false;
    }
    const std::string other = trimmed(ui_.prompt("Compare with (slices A-B, a folder, or nothing) = ", compareAnswer_));
    compareAnswer_ = other;
    if (const auto range = sliceRange(other)) {
        if (range->first < 1 || range->second > count || range->second < range->first) {
            ui_.message("Compare with: give slices within 1 to " + std::to_string(count) + ", or a folder.");
            return false;
        }
        a.otherRange = std::pair{range->first - 1, range->second - 1};
    } else {
        a.otherFolder = other;
    }
    const std::string tasks = trimmed(ui_.prompt("Tasks (diameter mm:contrast HU, ...) = ", tasksAnswer_));
    tasksAnswer_ = tasks;
    if (!tasks.empty()) {
        a.tasks = taskList(tasks);
        if (!a.tasks) {
            ui_.message("Tasks: give diameter:contrast pairs such as 5:10,3:-20, or nothing.");
            return false;
        }
    }
    const std::string bootstrap = ui_.prompt("Bootstrap replicates = ", bootstrapAnswer_);
    if (bootstrap.empty()) return false;
    a.bootstrap = textToInt(bootstrap);
    if (a.bootstrap < 0 || a.bootstrap > 100000) {
        ui_.message("Bootstrap replicates: give a count from 0 to 100000.");
        return false;
    }
    bootstrapAnswer_ = bootstrap;
    if (folderAnswer_.empty()) {
        const char* home = std::getenv("HOME");
        folderAnswer_ = std::string(home ? home : ".") + "/halvex-evaluation";
    }
    a.folder = trimmed(ui_.prompt("Output folder = ", folderAnswer_));
    if (a.folder.empty()) return false;
    folderAnswer_ = a.folder;
    return true;
}

SeriesInput EvaluationCommand::listedSeries(int first, int last, std::vector<std::vector<int16_t>>& pixels,
                                            std::string& problem) {
    SeriesInput s;
    pixels.assign(size_t(last - first + 1), {});
    const SliceInfo& head = store_.slices[size_t(first)];
    std::set<std::string> seen;
    for (int i = first; i <= last; ++i) {
        const SliceInfo& e = store_.slices[size_t(i)];
        if (std::fabs(e.dfov - head.dfov) > 1e-3f) {
            problem = "Slices " + std::to_string(first + 1) + "-" + std::to_string(last + 1) +
                      " have different fields of view (slice " + std::to_string(i + 1) + ").";
            return s;
        }
        problem = readListedSlice(store_, i, pixels[size_t(i - first)]);
        if (!problem.empty()) return s;
        s.slices.push_back({pixels[size_t(i - first)].data(), e.ctOffset, e.position});
        // Slices the program made have no file of their own to hash.
        const std::string source = e.sourceFile.empty() ? e.path : e.sourceFile;
        if (!isTempSlot(e) && seen.insert(source).second) s.files.push_back(source);
    }
    if (!(head.dfov > 0)) problem = "The slices have no field of view, so no pixel size.";
    s.name = "slices " + std::to_string(first + 1) + "-" + std::to_string(last + 1);
    SeriesSummary& m = s.summary;
    m.source = s.name + " of the list";
    m.files = static_cast<int>(s.files.size());
    m.first = first + 1;
    m.last = last + 1;
    m.pixelMm = head.dfov / kSide;
    m.kernel = head.kernel;
    m.thicknessMm = head.thickness;
    m.kv = head.kV;
    m.mas = head.mAs;
    m.ctdiVolMgy = head.ctdi;
    return s;
}

void EvaluationCommand::storeCurves(const EvaluationRun& run) {
    auto ttfCurves = [&](const EvaluationResult& r, const std::string& which) {
        for (const TtfResult& t : r.ttf)
            window_.addMtfCurve("TTF " + contrastText(t.contrastHu) + which, asFloat(t.curve.f), asFloat(t.curve.value));
    };
    auto npsCurve = [&](const EvaluationResult& r, const std::string& which) {
        if (!r.nps) return;
        std::vector<float> log10Value;
        for (double v : r.nps->curve.value) log10Value.push_back(static_cast<float>(std::log10(std::max(v, 1e-30))));
        window_.addNpsCurve("NPS " + r.series.kernel + which, asFloat(r.nps->curve.f), log10Value);
    };
    ttfCurves(run.result, "");
    npsCurve(run.result, "");
    if (run.compared) {
        ttfCurves(run.compared->other, " other");
        npsCurve(run.compared->other, " other");
    }
}

void EvaluationCommand::run(const std::pair<std::string, std::string>& rangeDefaults) {
    if (store_.sliceCount <= 0) {
        ui_.message("no data!");
        return;
    }
    Answers a;
    if (!ask(rangeDefaults, a)) return;

    std::vector<std::vector<int16_t>> pixels, otherPixels;
    std::string problem;
    const SeriesInput series = listedSeries(a.first, a.last, pixels, problem);
    if (!problem.empty()) {
        ui_.message(problem);
        return;
    }
    EvaluationRequest request;
    request.series = &series;
    request.bootstrap = a.bootstrap;
    request.tasks = a.tasks;
    std::optional<SeriesInput> other;
    std::optional<LoadedSeries> folderSeries;
    if (a.otherRange) {
        other = listedSeries(a.otherRange->first, a.otherRange->second, otherPixels, problem);
    } else if (!a.otherFolder.empty()) {
        try {
            folderSeries = readSeries({a.otherFolder}, std::nullopt, store_.appFolder);
            other = SeriesInput{folderSeries->slices, folderSeries->summary, folderSeries->files, a.otherFolder};
        } catch (const SeriesError& e) {
            problem = std::string("Compare with: ") + e.what() + ".";
        }
    }
    if (!problem.empty()) {
        ui_.message(problem);
        return;
    }
    if (other) request.other = &*other;

    running_ = true;
    stopRequested_ = false;
    struct Running {
        bool& flag;
        Ui& ui;
        ~Running() {
            flag = false;
            ui.progress(0, 0);
        }
    } running{running_, ui_};
    try {
        const EvaluationRun result = performEvaluation(request, [&](const std::string& stage, int done, int total) {
            window_.setCaption("Evaluate: " + stage + " " + std::to_string(done) + "/" + std::to_string(total));
            ui_.progress(done, total);
            ui_.pumpEvents();
            if (stopRequested_) throw Stopped{};
        });
        window_.setCaption("Evaluate: writing the results");
        writeEvaluationFiles(a.folder, evaluationFiles(result, request, reportWriter));
        storeCurves(result);
        std::string summary;
        for (char c : runSummary(result, request)) summary += c == '\n' ? std::string(kLineEnd) : std::string(1, c);
        ui_.setClipboardText(summary);
        window_.setCaption("Evaluate: done, " + std::to_string(result.result.ttf.size()) + " inserts; results in " +
                           a.folder);
        if (reportWriter) ui_.openDocument(a.folder + "/report.html");
    } catch (const Stopped&) {
        window_.setCaption("Evaluate: stopped, nothing written");
    } catch (const EvaluationError& e) {
        window_.setCaption("Evaluate: nothing measured");
        ui_.message(std::string("Evaluate: ") + e.what() + ".");
    }
}

}  // namespace halvex
