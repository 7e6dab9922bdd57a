// The evaluation's results as files: results.json (every scalar as
// {"value", "ci95"}, every curve as {"f", "value", "lo", "hi"}) and
// curves.csv (one row per frequency and curve), and the summary the
// command prints.
#pragma once

#include <string>

#include "evaluation/evaluation.h"

namespace halvex {

// `created` is the ISO time of the run: the only part of the text that
// differs between two runs of one recipe on the same files. A comparison
// adds the other series' results ("other") and the ratios ("comparison").
std::string resultsJson(const EvaluationResult& result, const std::string& halvexVersion, const std::string& created,
                        const EvaluationResult* other = nullptr, const Comparison* comparison = nullptr);

// `series` names the series in its rows.
std::string curvesCsv(const EvaluationResult& result, const std::string& series);

// A short table for the terminal.
std::string summaryText(const EvaluationResult& result);

// "noise −48 % [−50, −46], MTF50 at +50 HU −3 % [−6, +1], d' +85 % [...]":
// the other series against the first, as changes in percent (MTF50 from the
// faintest insert on, d' of the faintest insert's task, NPW).
std::string comparisonSummary(const Comparison& comparison, const EvaluationResult& first);

}  // namespace halvex
