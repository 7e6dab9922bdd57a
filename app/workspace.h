// The program's state and windows: one ImageStore shared by the windows, and
// the rule that one command runs at a time.
#pragma once

#include <string>
#include <vector>

#include "compare/CTDSP2.h"
#include "evaluation/evaluation_command.h"
#include "saving/dicom_save.h"
#include "platform/ports.h"
#include "platform/window_logic.h"
#include "measurement/CTPSFF.h"
#include "noise_reduction/NR3D.h"
#include "workspace/CTDSPF.h"
#include "workspace/image_store.h"
#include "workspace/program_folder.h"

namespace halvex {

class Workspace {
public:
    explicit Workspace(Ui& ui);

    // Starts the main window with its program folder; false when start-up
    // failed (the reason has been shown).
    bool start(const std::string& programFolder);
    void stop();

    WindowLogic* window(const std::string& name);

    // Files and folders named on the command line: loaded as a drop on the
    // view (every regular file of a folder, by name).
    void open(const std::vector<std::string>& paths);

    Ui& ui;
    ImageStore store;
    CommandGuard guard;
    DICOMM dicom;
    CTDSPF main;
    CTPSFF measurement;  // shown by "Measure>"
    NoiseReduction noiseReduction;
    DicomWriter dicomWriter;  // "DICOM"
    EvaluationCommand evaluation;  // "Evaluate..." and "Evaluate"
    CTDSP2 dual;              // shown by "Dual Win"
};

}  // namespace halvex
