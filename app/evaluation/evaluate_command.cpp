#include "evaluation/evaluate_command.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "evaluation/evaluation_run.h"
#include "evaluation/recipe.h"
#include "evaluation/results_json.h"
#include "evaluation/series_reader.h"
#include "platform/files.h"
#include "workspace/program_folder.h"

namespace halvex {

const char* const kEvaluateUsage =
    "Usage: halvex evaluate SERIES... [--out DIR] [--range FIRST-LAST] [--recipe FILE]\n"
    "                      [--compare OTHER] [--tasks D:C[,D:C...]] [--bootstrap N] [--seed S]\n"
    "                      [--app-folder DIR]\n"
    "Finds the test objects of a phantom series (a folder, or DICOM files) and measures\n"
    "them: TTF of every insert, NPS, CT numbers and uniformity, wire MTF, SSP and d',\n"
    "each with a 95 % interval from a bootstrap over the slices. Writes results.json,\n"
    "curves.csv, recipe.json, report.html and report.pdf into DIR and prints a summary.\n"
    "  --out DIR         where the results go (default ./halvex-evaluation)\n"
    "  --range A-B       slices A to B (1-based, in position order; default all)\n"
    "  --recipe FILE     placements and parameters of an earlier run, instead of finding them\n"
    "  --compare OTHER   evaluate another series (a folder or a file) with the same objects and\n"
    "                    give its ratios to SERIES (paired bootstrap; the same range of both)\n"
    "  --tasks D:C,...   d' tasks beyond one per insert: diameter mm : contrast HU\n"
    "  --bootstrap N     bootstrap replicates (default 200)\n"
    "  --seed S          seed of the bootstrap (default 1)\n"
    "  --app-folder DIR  keep the stack file and decoded slices in DIR\n"
    "Exit status: 0 done, 1 usage error, 2 the series can't be read or nothing measurable was found.\n";

namespace {

namespace fs = std::filesystem;

struct Options {
    std::vector<std::string> series;
    std::string out = "halvex-evaluation";
    std::optional<std::pair<int, int>> range;
    std::string recipe;
    std::string compare;
    std::optional<std::vector<DetectabilityTask>> tasks;
    std::optional<int> bootstrap;
    std::optional<uint64_t> seed;
    std::string appFolder;
};

// A usage error or a failure of the run: its one-line reason and exit status.
struct Failure {
    int status;
    std::string reason;
};

template <typename T>
bool parseWhole(std::string_view text, T& value) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

bool parseDecimal(std::string_view text, double& value) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

std::vector<DetectabilityTask> parseTasks(const std::string& text) {
    std::vector<DetectabilityTask> tasks;
    std::stringstream list(text);
    for (std::string item; std::getline(list, item, ',');) {
        const size_t colon = item.find(':');
        DetectabilityTask t;
        if (colon == std::string::npos || !parseDecimal(std::string_view(item).substr(0, colon), t.diameter) ||
            !parseDecimal(std::string_view(item).substr(colon + 1), t.contrast) || !(t.diameter > 0))
            throw Failure{1, "--tasks needs diameter mm : contrast HU pairs such as 5:10,3:-20 (got \"" + item + "\")"};
        tasks.push_back(t);
    }
    if (tasks.empty()) throw Failure{1, "--tasks needs at least one diameter:contrast pair"};
    return tasks;
}

Options parseOptions(const std::vector<std::string>& args) {
    Options o;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!a.starts_with("--")) {
            o.series.push_back(a);
            continue;
        }
        if (i + 1 >= args.size()) throw Failure{1, a + " needs a value"};
        const std::string& v = args[++i];
        if (a == "--out") {
            o.out = v;
        } else if (a == "--range") {
            const size_t dash = v.find('-');
            int first = 0, last = 0;
            if (dash == std::string::npos || !parseWhole(std::string_view(v).substr(0, dash), first) ||
                !parseWhole(std::string_view(v).substr(dash + 1), last) || first < 1 || last < first)
                throw Failure{1, "--range needs FIRST-LAST with 1 <= FIRST <= LAST (got \"" + v + "\")"};
            o.range = std::pair{first, last};
        } else if (a == "--recipe") {
            o.recipe = v;
        } else if (a == "--compare") {
            o.compare = v;
        } else if (a == "--tasks") {
            o.tasks = parseTasks(v);
        } else if (a == "--bootstrap") {
            int n = 0;
            if (!parseWhole(v, n) || n < 0 || n > 100000) throw Failure{1, "--bootstrap needs a count from 0 to 100000"};
            o.bootstrap = n;
        } else if (a == "--seed") {
            uint64_t s = 0;
            if (!parseWhole(v, s)) throw Failure{1, "--seed needs a whole number of 0 or more"};
            o.seed = s;
        } else if (a == "--app-folder") {
            o.appFolder = v;
        } else {
            throw Failure{1, "unknown option " + a};
        }
    }
    if (o.series.empty()) throw Failure{1, "name the series: a folder or DICOM files"};
    return o;
}

std::string absolute(const std::string& path) {
    std::error_code ec;
    const fs::path p = fs::absolute(path, ec);
    return ec ? path : p.lexically_normal().string();
}

// The series named by `given`, in its range, with the reading's progress.
LoadedSeries loadSeries(const std::vector<std::string>& given, const std::optional<std::pair<int, int>>& range,
                        const std::string& programFolder,
                        const std::function<void(const std::string&, int, int)>& progress) {
    try {
        return readSeries(given, range, programFolder, [&](int done, int total) { progress("reading", done, total); });
    } catch (const SeriesError& e) {
        throw Failure{2, e.what()};
    }
}

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Failure{2, "the recipe " + path + " can't be read"};
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int run(const std::vector<std::string>& arguments, const std::string& executableFolder, std::ostream& out,
        std::ostream& err, bool terminal, const ReportWriter& report) {
    Options o = parseOptions(arguments);
    // The loaders make the program folder the current one: every path given
    // is taken from where the command was started.
    for (std::string& s : o.series) s = absolute(s);
    o.out = absolute(o.out);
    if (!o.recipe.empty()) o.recipe = absolute(o.recipe);
    const std::string givenRecipe = o.recipe.empty() ? std::string() : fileText(o.recipe);

    auto progress = [&](const std::string& stage, int done, int total) {
        if (!terminal) return;
        err << "\r" << stage << " " << done << "/" << total << "   " << std::flush;
        if (done >= total) err << "\r" << std::string(stage.size() + 24, ' ') << "\r" << std::flush;
    };
    const ProgramFolder folder = resolveProgramFolder(executableFolder, o.appFolder);
    if (!folder.note.empty()) err << "halvex: " << folder.note << "\n";
    LoadedSeries series = loadSeries(o.series, o.range, folder.path, progress);
    for (const std::string& note : series.notes) err << "halvex: " << note << "\n";
    const double pixelMm = series.summary.pixelMm;

    EvaluationRequest request;
    if (!o.recipe.empty()) {
        std::string error;
        request.recipe = parseRecipe(givenRecipe, pixelMm, error);
        if (!request.recipe) throw Failure{2, "the recipe " + o.recipe + " can't be used: " + error};
        if (!o.range && request.recipe->range) {
            // The recipe's range, on the slices read again.
            o.range = request.recipe->range;
            series = loadSeries(o.series, o.range, folder.path, progress);
        }
    }
    request.bootstrap = o.bootstrap;
    request.seed = o.seed;
    request.tasks = o.tasks;
    const SeriesInput first{series.slices, series.summary, series.files, fs::path(o.series.front()).filename().string()};
    request.series = &first;
    std::optional<LoadedSeries> otherSeries;
    std::optional<SeriesInput> other;
    if (!o.compare.empty()) {
        otherSeries = loadSeries({absolute(o.compare)}, o.range, folder.path, progress);
        for (const std::string& note : otherSeries->notes) err << "halvex: " << note << "\n";
        other = SeriesInput{otherSeries->slices, otherSeries->summary, otherSeries->files,
                            fs::path(absolute(o.compare)).filename().string()};
        request.other = &*other;
    }
    try {
        const EvaluationRun run = performEvaluation(request, progress);
        progress("writing the files", 0, 1);
        const std::vector<std::pair<std::string, std::string>> files = evaluationFiles(run, request, report);
        writeEvaluationFiles(o.out, files);
        progress("writing the files", 1, 1);
        out << runSummary(run, request);
        out << "\nwrote";
        for (size_t i = 0; i < files.size(); ++i) out << (i ? ", " : " " + o.out + "/") << files[i].first;
        out << "\n";
    } catch (const EvaluationError& e) {
        throw Failure{2, e.what()};
    }
    return 0;
}

}  // namespace

int runEvaluate(const std::vector<std::string>& arguments, const std::string& executableFolder, std::ostream& out,
                std::ostream& err, bool terminal, const ReportWriter& report) {
    if (std::find(arguments.begin(), arguments.end(), "--help") != arguments.end()) {
        out << kEvaluateUsage;
        return 0;
    }
    try {
        return run(arguments, executableFolder, out, err, terminal, report);
    } catch (const Failure& f) {
        err << "halvex evaluate: " << f.reason << "\n";
        if (f.status == 1) err << kEvaluateUsage;
        return f.status;
    } catch (const std::exception& e) {
        err << "halvex evaluate: " << e.what() << "\n";
        return 2;
    }
}

}  // namespace halvex
