// "Evaluate...": the automatic evaluation of a slice range of the list, from
// the measurement window's menu bar or the main window's "Evaluate" button.
// It asks for the range, what to compare it with (another range, or a
// folder), the extra d' tasks, the bootstrap count and the output folder,
// runs with the progress bar (Stop ends it), writes the results and the
// report, opens the report, puts the TTF curves into the MTF store and the
// NPS into the NPS store, and the summary on the clipboard.
#pragma once

#include <string>
#include <utility>

#include "evaluation/evaluation_run.h"
#include "measurement/CTPSFF.h"
#include "platform/ports.h"
#include "workspace/image_store.h"

namespace halvex {

class EvaluationCommand {
public:
    EvaluationCommand(ImageStore& store, CTPSFF& window, Ui& ui) : store_(store), window_(window), ui_(ui) {}

    // The main window's first and last slice boxes, offered as the range.
    void run(const std::pair<std::string, std::string>& rangeDefaults);

    // "Stop" and Esc: a running evaluation ends at its next step.
    void requestStop() { stopRequested_ = running_; }

    // Draws the report's files; none when there is nothing to draw with.
    ReportWriter reportWriter;

private:
    struct Answers;
    bool ask(const std::pair<std::string, std::string>& rangeDefaults, Answers& a);
    // The slices first..last of the list (0-based) as a series; empty
    // `problem` when they can be read.
    SeriesInput listedSeries(int first, int last, std::vector<std::vector<int16_t>>& pixels, std::string& problem);
    void storeCurves(const EvaluationRun& run);

    ImageStore& store_;
    CTPSFF& window_;
    Ui& ui_;
    bool running_ = false, stopRequested_ = false;
    // The answers of the last run, offered again.
    std::string compareAnswer_, tasksAnswer_, bootstrapAnswer_ = "200", folderAnswer_;
};

}  // namespace halvex
