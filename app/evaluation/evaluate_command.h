// `halvex evaluate`: reads a series through the loaders of "Read", finds its
// objects (or takes them from a recipe), evaluates them, and writes
// results.json, curves.csv and recipe.json. It needs no display.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "evaluation/evaluation.h"

namespace halvex {

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

// Runs the command on its arguments (those after "evaluate"); `out` gets the
// summary, `err` the messages and the progress (drawn in place when
// `terminal`); `report` adds its files to the results. The program folder keeps the stack file and the decoded-slice
// cache as for the workstation. Returns 0 on success, 1 for a usage error,
// 2 when the series can't be read or nothing measurable was found.
int runEvaluate(const std::vector<std::string>& arguments, const std::string& executableFolder, std::ostream& out,
                std::ostream& err, bool terminal, const ReportWriter& report = {});

// The text of `halvex evaluate --help`.
extern const char* const kEvaluateUsage;

}  // namespace halvex
