// The evaluation's report: one self-contained HTML file (graphs inline as
// PNG data, no network access) and an A4 PDF with the same content, both
// made from the same text and the same graphs (plot.h).
#pragma once

#include <string>
#include <vector>

#include "evaluation/evaluate_command.h"

namespace halvex {

// The HTML text and the PDF's bytes, from one drawing of the graphs.
struct ReportFiles {
    std::string html, pdf;
};
ReportFiles makeReport(const ReportInput& input);


}  // namespace halvex
