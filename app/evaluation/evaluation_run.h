// One evaluation from slices in memory to its files, as `halvex evaluate`
// and the measurement window's "Evaluate..." both run it: the objects from a
// recipe or found, the inputs' hashes, the series alone or against another,
// and results.json, curves.csv, recipe.json and the report.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "evaluation/evaluation.h"
#include "evaluation/recipe.h"

namespace halvex {

// An evaluation that can't be done as asked: the one-line reason.
class EvaluationError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A series as the evaluation takes it.
struct SeriesInput {
    std::vector<SliceImage> slices;  // in position order
    SeriesSummary summary;
    std::vector<std::string> files;  // each file once: their hashes go into the recipe
    std::string name;                // its name in curves.csv and the comparison line
};

struct EvaluationRequest {
    const SeriesInput* series = nullptr;
    const SeriesInput* other = nullptr;  // to compare with; same slice count and pixel size
    std::optional<Recipe> recipe;        // placements and parameters; else the objects are found
    // Overrides of the recipe's (or the defaults') parameters.
    std::optional<int> bootstrap;
    std::optional<uint64_t> seed;
    std::optional<std::vector<DetectabilityTask>> tasks;
};

struct EvaluationRun {
    EvaluationResult result;
    std::optional<ComparedSeries> compared;  // with `other`
    Recipe recipe;                           // as it reproduces the run
    std::vector<float> meanHu;               // the first series' mean slice
};

// Runs the evaluation; the finder's refusals and the inputs whose hash
// differs from the recipe's are among the warnings. Throws EvaluationError
// when there is no phantom body or nothing to measure, or when the other
// series does not match. `progress(stage, done, total)` may be empty.
EvaluationRun performEvaluation(const EvaluationRequest& request,
                                const std::function<void(const std::string& stage, int done, int total)>& progress);

// What a run gives its report: the results (and, for a comparison, the
// other series' and the ratios), the first series' mean slice, and what the
// header names.
struct ReportInput {
    const EvaluationResult* result = nullptr;
    const EvaluationResult* other = nullptr;
    const Comparison* comparison = nullptr;
    std::vector<float> meanHu;  // 512 x 512 HU
    std::string halvexVersion, created, recipeSha256;
};
// Files to write beside the results (name, content): the report, drawn by
// whoever has the means to draw.
using ReportWriter = std::function<std::vector<std::pair<std::string, std::string>>(const ReportInput&)>;

// The files of a run (name, content): results.json, curves.csv,
// recipe.json, then the report writer's.
std::vector<std::pair<std::string, std::string>> evaluationFiles(const EvaluationRun& run, const EvaluationRequest& request,
                                                                 const ReportWriter& report);

// Writes the files into `folder` (made when missing): each under a temporary
// name first, then all renamed, so that a failure leaves nothing half-written
// and nothing else in the folder is touched. Throws EvaluationError.
void writeEvaluationFiles(const std::string& folder, const std::vector<std::pair<std::string, std::string>>& files);

// "the other against the first: noise -48 % [...], ..." for a terminal, a
// caption or the clipboard; the summary table of the first series before it.
std::string runSummary(const EvaluationRun& run, const EvaluationRequest& request);

}  // namespace halvex
