#include "evaluation/evaluation_run.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <map>

#include "evaluation/results_json.h"
#include "platform/file_digest.h"
#include "platform/files.h"

namespace halvex {

namespace {

namespace fs = std::filesystem;

std::string fileNameIn(const std::string& path) { return fs::path(path).filename().string(); }

// The objects of a recipe cover every slice of the range unless they say
// otherwise; indices are clamped to the range.
void fitObjectsToRange(std::vector<FoundObject>& objects, int slices) {
    for (FoundObject& o : objects) {
        o.firstSlice = std::clamp(o.firstSlice, 0, slices - 1);
        o.lastSlice = std::clamp(o.lastSlice, o.firstSlice, slices - 1);
    }
}

std::string isoTime() {
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &t);
    return text;
}

}  // namespace

EvaluationRun performEvaluation(const EvaluationRequest& request,
                                const std::function<void(const std::string& stage, int done, int total)>& progress) {
    auto report = [&](const std::string& stage, int done, int total) {
        if (progress) progress(stage, done, total);
    };
    const SeriesInput& series = *request.series;
    const double pixelMm = series.summary.pixelMm;
    EvaluationRun run;
    std::vector<std::string> warnings;
    if (request.recipe) {
        run.recipe = *request.recipe;
        fitObjectsToRange(run.recipe.objects, static_cast<int>(series.slices.size()));
    } else {
        report("finding objects", 0, 1);
        const FoundObjects found = findObjects(series.slices, static_cast<float>(pixelMm));
        report("finding objects", 1, 1);
        run.recipe.objects = found.objects;
        warnings = found.problems;
    }
    if (std::none_of(run.recipe.objects.begin(), run.recipe.objects.end(),
                     [](const FoundObject& f) { return f.kind != ObjectKind::Body; }))
        throw EvaluationError(run.recipe.objects.empty() ? "no phantom body found (nothing above -500 HU)"
                                                         : "nothing measurable found in the phantom body");
    Recipe& recipe = run.recipe;
    if (request.bootstrap) recipe.parameters.bootstrap = *request.bootstrap;
    if (request.seed) recipe.parameters.seed = *request.seed;
    if (request.tasks) recipe.parameters.tasks = *request.tasks;
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

    if (const SeriesInput* other = request.other) {
        if (other->slices.size() != series.slices.size())
            throw EvaluationError("the two series must have the same number of slices in their ranges (" +
                                  std::to_string(series.slices.size()) + " and " +
                                  std::to_string(other->slices.size()) + ")");
        if (std::fabs(other->summary.pixelMm - pixelMm) > 1e-6)
            throw EvaluationError("the two series have different pixel sizes: the same objects can't be measured on both");
    }
    auto measuring = [&](int done, int total) { report("measuring", done, total); };
    if (request.other) {
        run.compared = compareSeries(series.slices, request.other->slices, static_cast<float>(pixelMm), recipe.objects,
                                     recipe.parameters, measuring);
        run.result = run.compared->first;
        run.compared->other.series = request.other->summary;
    } else {
        run.result = evaluateSeries(series.slices, static_cast<float>(pixelMm), recipe.objects, recipe.parameters, measuring);
    }
    run.result.series = series.summary;
    warnings.insert(warnings.end(), run.result.warnings.begin(), run.result.warnings.end());
    run.result.warnings = warnings;
    const EvaluationResult& r = run.result;
    if (r.ttf.empty() && !r.nps && r.ctNumbers.empty() && !r.wire && !r.ssp)
        throw EvaluationError("nothing measurable was found in the series");
    run.meanHu = meanImage(series.slices, 0, series.slices.size());
    return run;
}

std::vector<std::pair<std::string, std::string>> evaluationFiles(const EvaluationRun& run, const EvaluationRequest& request,
                                                                 const ReportWriter& report) {
    const std::string created = isoTime();
    const std::string recipeText = recipeJson(run.recipe, run.result.series.pixelMm);
    const EvaluationResult* other = run.compared ? &run.compared->other : nullptr;
    const Comparison* comparison = run.compared ? &run.compared->comparison : nullptr;
    std::string csv = curvesCsv(run.result, request.series->name);
    if (other && request.other) {
        const std::string rows = curvesCsv(*other, request.other->name);
        csv += rows.substr(rows.find('\n') + 1);  // without its header line
    }
    std::vector<std::pair<std::string, std::string>> files = {
        {"results.json", resultsJson(run.result, HALVEX_VERSION, created, other, comparison)},
        {"curves.csv", csv},
        {"recipe.json", recipeText}};
    if (report) {
        const ReportInput input{&run.result, other, comparison, run.meanHu, HALVEX_VERSION, created, textSha256(recipeText)};
        for (auto& file : report(input)) files.push_back(std::move(file));
    }
    return files;
}

void writeEvaluationFiles(const std::string& folder, const std::vector<std::pair<std::string, std::string>>& files) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!fs::is_directory(folder, ec)) throw EvaluationError("the folder " + folder + " can't be made");
    std::vector<std::string> written;
    auto cleanUp = [&] {
        for (const std::string& t : written) fs::remove(t, ec);
    };
    for (const auto& [name, text] : files) {
        const std::string temporary = folder + "/." + name + ".part";
        if (!replaceFile(temporary, text)) {
            cleanUp();
            throw EvaluationError("can't write " + folder + "/" + name);
        }
        written.push_back(temporary);
    }
    for (size_t i = 0; i < files.size(); ++i) {
        fs::rename(written[i], folder + "/" + files[i].first, ec);
        if (ec) {
            cleanUp();
            throw EvaluationError("can't write " + folder + "/" + files[i].first + ": " + ec.message());
        }
    }
}

std::string runSummary(const EvaluationRun& run, const EvaluationRequest& request) {
    std::string text = summaryText(run.result);
    if (run.compared && request.other)
        text += "\n" + request.other->name + " against " + request.series->name + ": " +
                comparisonSummary(run.compared->comparison, run.result) + "\n";
    return text;
}

}  // namespace halvex
