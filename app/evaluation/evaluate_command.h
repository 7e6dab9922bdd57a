// `halvex evaluate`: reads a series through the loaders of "Read", finds its
// objects (or takes them from a recipe), evaluates them, and writes
// results.json, curves.csv and recipe.json. It needs no display.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "evaluation/evaluation_run.h"

namespace halvex {

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
