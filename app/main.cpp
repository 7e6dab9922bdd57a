// halvex: the desktop program, and its automation driver (--batch).
#include <QApplication>
#include <cstdio>
#include <filesystem>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>

#include <unistd.h>

#include "compare/qt/compare_window.h"
#include "evaluation/evaluate_command.h"
#include "evaluation/qt/report.h"
#include "measurement/qt/measurement_window.h"
#include "platform/files.h"
#include "platform/qt/qt_text_painter.h"
#include "platform/qt/qt_ui.h"
#include "platform/script/batch_driver.h"
#include "platform/script/script_ui.h"
#include "workspace/qt/main_window.h"
#include "workspace.h"

namespace {

constexpr const char* kUsage =
    "Usage:\n"
    "  halvex [--app-folder DIR] [FILE|FOLDER...]\n"
    "      Start the workstation and load the given DICOM files, or every DICOM\n"
    "      file of the given folders.\n"
    "  halvex --batch SCRIPT [--app-folder DIR]\n"
    "      Run an automation script headless (SCRIPT - reads standard input);\n"
    "      exits 0 when the script ran to its end, 2 at a line it can't carry out.\n"
    "  halvex evaluate SERIES... [--out DIR] [--range FIRST-LAST] [--recipe FILE]\n"
    "                  [--tasks D:C,...] [--bootstrap N] [--seed S] [--app-folder DIR]\n"
    "      Find the test objects of a phantom series and measure them with 95 %\n"
    "      intervals, without a display (halvex evaluate --help tells more).\n"
    "  halvex --help\n"
    "      Show this text.\n"
    "  halvex --version\n"
    "      Show the version.\n"
    "Options:\n"
    "  --app-folder DIR  keep settings and the temporary stack file in DIR\n"
    "                    instead of the program's folder.\n";

struct Options {
    bool help = false;
    bool version = false;
    std::string batchScript;
    bool batch = false;
    std::string appFolder;
    std::vector<std::string> paths;
    std::string error;
};

Options parseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--version") {
            o.version = true;
        } else if (a == "--batch" || a == "--app-folder") {
            if (i + 1 >= argc) {
                o.error = a + " needs an argument";
                break;
            }
            (a == "--batch" ? o.batchScript : o.appFolder) = argv[++i];
            o.batch = o.batch || a == "--batch";
        } else if (a.rfind("--", 0) == 0) {
            o.error = "unknown option " + a;
            break;
        } else {
            o.paths.push_back(a);
        }
    }
    return o;
}

// The evaluation's report, drawn with Qt: HTML and PDF.
halvex::ReportWriter reportWriter() {
    return [](const halvex::ReportInput& input) {
        halvex::ReportFiles report = halvex::makeReport(input);
        return std::vector<std::pair<std::string, std::string>>{{"report.html", std::move(report.html)},
                                                                {"report.pdf", std::move(report.pdf)}};
    };
}

// The views and graphs print their text with Qt's fonts; the evaluation
// draws its report.
void giveTextPainter(halvex::Workspace& workspace) {
    auto painter = std::make_shared<halvex::QtTextPainter>();
    workspace.main.PIC1.setTextPainter(painter);
    workspace.measurement.view()->setTextPainter(painter);
    workspace.evaluation.reportWriter = reportWriter();
}

int runBatch(const Options& o, const halvex::ProgramFolder& programFolder) {
    std::ifstream file;
    std::istream* script = &std::cin;
    if (o.batchScript != "-") {
        file.open(o.batchScript);
        if (!file) {
            std::cerr << "halvex: cannot read " << o.batchScript << "\n";
            return 2;
        }
        script = &file;
    }
    if (!programFolder.note.empty()) std::cerr << "halvex: " << programFolder.note << "\n";
    halvex::ScriptUi ui(std::cout);
    halvex::Workspace workspace(ui);
    giveTextPainter(workspace);
    workspace.start(programFolder.path);
    halvex::BatchDriver driver(workspace, ui, std::cout, std::cerr);
    const int result = driver.run(*script);
    workspace.stop();
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "evaluate") {
        // Headless: Qt only draws the report's graphs and lays out its PDF.
        if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
        QGuiApplication app(argc, argv);
        return halvex::runEvaluate(std::vector<std::string>(argv + 2, argv + argc), halvex::executableFolder(), std::cout,
                                   std::cerr, isatty(STDERR_FILENO) == 1, reportWriter());
    }
    const Options o = parseOptions(argc, argv);
    if (!o.error.empty()) {
        std::cerr << "halvex: " << o.error << "\n" << kUsage;
        return 2;
    }
    if (o.help) {
        std::cout << kUsage;
        return 0;
    }
    if (o.version) {
        std::cout << "halvex " << HALVEX_VERSION << "\n";
        return 0;
    }
    const halvex::ProgramFolder programFolder = halvex::resolveProgramFolder(halvex::executableFolder(), o.appFolder);
    if (o.batch) {
        // Headless: Qt only draws the text of the views.
        if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
        QGuiApplication app(argc, argv);
        return runBatch(o, programFolder);
    }

    // Start-up makes the program folder the current one: name the files
    // to open by their full paths first.
    std::vector<std::string> paths;
    for (const std::string& p : o.paths) paths.push_back(std::filesystem::absolute(p).string());

    QApplication app(argc, argv);
    halvex::QtUi ui;
    halvex::Workspace workspace(ui);
    giveTextPainter(workspace);
    halvex::MainWindow window(workspace.main, workspace.guard, ui, [&workspace] { workspace.stop(); });
    halvex::MeasurementWindow measurement(workspace, ui);  // hidden until "Measure>"
    halvex::CompareWindow dual(workspace, ui);             // hidden until "Dual Win"
    window.show();
    if (!programFolder.note.empty()) ui.message(programFolder.note, halvex::Buttons::Ok);
    workspace.start(programFolder.path);
    workspace.open(paths);
    return app.exec();
}
