#include "evaluation/evaluate_command.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>

#include "evaluation/recipe.h"
#include "evaluation/results_json.h"
#include "evaluation/series_reader.h"
#include "platform/file_digest.h"
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

std::string isoTime() {
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &t);
    return text;
}

// Writes each file beside its place under a temporary name, then renames
// them all: a run that fails leaves nothing half-written, and nothing else in
// the folder is touched.
void writeAll(const std::string& folder, const std::vector<std::pair<std::string, std::string>>& files) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!fs::is_directory(folder, ec)) throw Failure{2, "the folder " + folder + " can't be made"};
    std::vector<std::string> written;
    auto cleanUp = [&] {
        for (const std::string& t : written) fs::remove(t, ec);
    };
    for (const auto& [name, text] : files) {
        const std::string temporary = folder + "/." + name + ".part";
        if (!replaceFile(temporary, text)) {
            cleanUp();
            throw Failure{2, "can't write " + folder + "/" + name};
        }
        written.push_back(temporary);
    }
    for (size_t i = 0; i < files.size(); ++i) {
        fs::rename(written[i], folder + "/" + files[i].first, ec);
        if (ec) {
            cleanUp();
            throw Failure{2, "can't write " + folder + "/" + files[i].first + ": " + ec.message()};
        }
    }
}

std::string fileNameIn(const std::string& path) { return fs::path(path).filename().string(); }

// The objects of a recipe cover every slice of the range unless they say
// otherwise; indices are clamped to the range.
void fitObjectsToRange(std::vector<FoundObject>& objects, int slices) {
    for (FoundObject& o : objects) {
        o.firstSlice = std::clamp(o.firstSlice, 0, slices - 1);
        o.lastSlice = std::clamp(o.lastSlice, o.firstSlice, slices - 1);
    }
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

    Recipe recipe;
    std::vector<std::string> warnings;
    if (!o.recipe.empty()) {
        std::string error;
        const std::optional<Recipe> given = parseRecipe(givenRecipe, pixelMm, error);
        if (!given) throw Failure{2, "the recipe " + o.recipe + " can't be used: " + error};
        recipe = *given;
        if (!o.range && recipe.range) {
            // The recipe's range, on the slices read again.
            o.range = recipe.range;
            series = loadSeries(o.series, o.range, folder.path, progress);
        }
        fitObjectsToRange(recipe.objects, static_cast<int>(series.slices.size()));
    } else {
        progress("finding objects", 0, 1);
        const FoundObjects found = findObjects(series.slices, static_cast<float>(pixelMm));
        progress("finding objects", 1, 1);
        recipe.objects = found.objects;
        warnings = found.problems;
    }
    if (std::none_of(recipe.objects.begin(), recipe.objects.end(),
                     [](const FoundObject& f) { return f.kind != ObjectKind::Body; }))
        throw Failure{2, recipe.objects.empty() ? "no phantom body found (nothing above -500 HU)"
                                                : "nothing measurable found in the phantom body"};
    if (o.bootstrap) recipe.parameters.bootstrap = *o.bootstrap;
    if (o.seed) recipe.parameters.seed = *o.seed;
    if (o.tasks) recipe.parameters.tasks = *o.tasks;
    recipe.halvexVersion = HALVEX_VERSION;
    recipe.range = std::pair{series.summary.first, series.summary.last};

    // The inputs and their hashes; a file the recipe knew by another hash is named.
    std::map<std::string, std::string> known;
    for (const RecipeInput& in : recipe.inputs) known[in.file] = in.sha256;
    recipe.inputs.clear();
    for (const std::string& file : series.files) {
        const std::string hash = fileSha256(file).value_or("");
        const std::string name = fileNameIn(file);
        if (const auto k = known.find(name); k != known.end() && k->second != hash)
            warnings.push_back(name + " is not the file the recipe was made on (its SHA-256 differs).");
        recipe.inputs.push_back({name, hash});
    }

    std::optional<LoadedSeries> other;
    if (!o.compare.empty()) {
        other = loadSeries({absolute(o.compare)}, o.range, folder.path, progress);
        for (const std::string& note : other->notes) err << "halvex: " << note << "\n";
        if (other->slices.size() != series.slices.size())
            throw Failure{2, "the two series must have the same number of slices in their ranges (" +
                                 std::to_string(series.slices.size()) + " and " + std::to_string(other->slices.size()) +
                                 "): give --range"};
        if (std::fabs(other->summary.pixelMm - pixelMm) > 1e-6)
            throw Failure{2, "the two series have different pixel sizes: the same objects can't be measured on both"};
    }
    auto measuring = [&](int done, int total) { progress("measuring", done, total); };
    EvaluationResult result;
    std::optional<ComparedSeries> compared;
    if (other) {
        compared = compareSeries(series.slices, other->slices, static_cast<float>(pixelMm), recipe.objects,
                                 recipe.parameters, measuring);
        result = compared->first;
        compared->other.series = other->summary;
    } else {
        result = evaluateSeries(series.slices, static_cast<float>(pixelMm), recipe.objects, recipe.parameters, measuring);
    }
    result.series = series.summary;
    warnings.insert(warnings.end(), result.warnings.begin(), result.warnings.end());
    result.warnings = warnings;
    if (result.ttf.empty() && !result.nps && result.ctNumbers.empty() && !result.wire && !result.ssp)
        throw Failure{2, "nothing measurable was found in the series"};

    const std::string created = isoTime();
    const std::string recipeText = recipeJson(recipe, pixelMm);
    const EvaluationResult* otherResult = compared ? &compared->other : nullptr;
    const Comparison* comparison = compared ? &compared->comparison : nullptr;
    std::string csv = curvesCsv(result, fileNameIn(o.series.front()));
    if (otherResult) {
        const std::string rows = curvesCsv(*otherResult, fileNameIn(o.compare));
        csv += rows.substr(rows.find('\n') + 1);  // without its header line
    }
    std::vector<std::pair<std::string, std::string>> files = {
        {"results.json", resultsJson(result, HALVEX_VERSION, created, otherResult, comparison)},
        {"curves.csv", csv},
        {"recipe.json", recipeText}};
    if (report) {
        ReportInput input{&result, otherResult, comparison, meanImage(series.slices, 0, series.slices.size()),
                          HALVEX_VERSION, created, textSha256(recipeText)};
        progress("writing the report", 0, 1);
        for (auto& file : report(input)) files.push_back(std::move(file));
        progress("writing the report", 1, 1);
    }
    writeAll(o.out, files);
    out << summaryText(result);
    if (comparison) out << "\n" << o.compare << " against " << o.series.front() << ": "
                        << comparisonSummary(*comparison, result) << "\n";
    out << "\nwrote";
    for (size_t i = 0; i < files.size(); ++i) out << (i ? ", " : " " + o.out + "/") << files[i].first;
    out << "\n";
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
