#include "evaluation/series_reader.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numeric>
#include <set>

#include "platform/files.h"
#include "platform/window_logic.h"
#include "workspace/CTDSPF.h"

namespace halvex {

namespace {

namespace fs = std::filesystem;

// The loaders' user interface when nobody is there: messages are kept (they
// name the files that were not loaded), questions are answered no, and the
// progress goes to the terminal.
class QuietUi : public Ui {
public:
    explicit QuietUi(std::function<void(int, int)> progress) : progress_(std::move(progress)) {}

    std::vector<std::string> messages;
    std::string caption;

    std::string prompt(const std::string&, const std::string&) override { return {}; }
    Reply message(const std::string& text, Buttons buttons) override {
        messages.push_back(text);
        return buttons == Buttons::Ok ? Reply::Ok : Reply::No;
    }
    std::string openFile(const std::string&, const std::string&) override { return {}; }
    std::string chooseFolder(const std::string&) override { return {}; }
    std::string saveFile(const std::string&, const std::string&) override { return {}; }
    void clearClipboard() override {}
    void setClipboardText(const std::string&) override {}
    void setClipboardImage(const RgbImage&) override {}
    void captionChanged(const std::string&, const std::string& text) override { caption = text; }
    void showWindow(const std::string&, bool) override {}
    void progress(int done, int total) override {
        if (progress_ && total > 0) progress_(done, total);
    }
    void pumpEvents() override {}

private:
    std::function<void(int, int)> progress_;
};

}  // namespace

LoadedSeries readSeries(const std::vector<std::string>& given, const std::optional<std::pair<int, int>>& range,
                        const std::string& programFolder, const std::function<void(int done, int total)>& progress) {
    // The loaders' start makes the program folder the current one: paths are
    // taken from where the caller stands, and the caller stands there again
    // after the reading.
    std::error_code ec;
    const fs::path caller = fs::current_path(ec);
    std::vector<std::string> paths;
    for (const std::string& path : given) paths.push_back(fs::absolute(path, ec).lexically_normal().string());
    struct BackTo {
        fs::path folder;
        ~BackTo() {
            std::error_code ignored;
            if (!folder.empty()) fs::current_path(folder, ignored);
        }
    } back{caller};
    QuietUi ui(progress);
    CommandGuard guard(ui);
    ImageStore store;
    DICOMM dicom;
    CTDSPF reader(store, dicom, ui, guard);
    guard.run([&] { reader.Form_Load(fs::absolute(programFolder, ec).string()); });
    ui.messages.clear();  // the workstation's settings are none of the evaluation's business

    std::vector<std::string> files;
    for (const std::string& path : paths) {
        if (fs::is_directory(path, ec)) {
            const std::string folder = path.back() == '/' ? path : path + "/";
            for (const std::string& name : folderFiles(folder)) files.push_back(folder + name);
        } else if (fs::is_regular_file(path, ec)) {
            files.push_back(path);
        } else {
            guard.run([&] { reader.Form_Unload(); });
            throw SeriesError(path + " is neither a folder nor a file that can be read");
        }
    }
    if (!files.empty()) guard.run([&] { reader.dropOnView(files); });
    LoadedSeries series;
    series.notes = ui.messages;
    if (ui.caption.find("cut short") != std::string::npos) series.notes.push_back(ui.caption);

    const int count = store.sliceCount;
    std::vector<int> order(static_cast<size_t>(count));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return store.slices[size_t(a)].position < store.slices[size_t(b)].position; });
    const auto [first, last] = range.value_or(std::pair{1, count});
    try {
        if (count == 0) throw SeriesError("no slice could be read from " + given.front());
        if (last > count)
            throw SeriesError("the range " + std::to_string(first) + "-" + std::to_string(last) + " lies beyond the " +
                                 std::to_string(count) + " slices read");
        const SliceInfo& head = store.slices[size_t(order[size_t(first - 1)])];
        std::set<std::string> seen;
        for (int k = first - 1; k < last; ++k) {
            const SliceInfo& e = store.slices[size_t(order[size_t(k)])];
            if (std::fabs(e.dfov - head.dfov) > 1e-3f)
                throw SeriesError("slices " + std::to_string(first) + "-" + std::to_string(last) +
                                     " have different fields of view (" + e.name + ")");
            std::vector<int16_t>& pixels = series.pixels.emplace_back(kSlicePixels);
            if (!readSlicePixels(store, e, pixels.data()))
                throw SeriesError("the pixels of " + e.name + " can't be read");
            const std::string source = e.sourceFile.empty() ? e.path : e.sourceFile;
            if (seen.insert(source).second) series.files.push_back(source);
        }
        if (!(head.dfov > 0)) throw SeriesError("the slices have no field of view, so no pixel size");
        SeriesSummary& s = series.summary;
        s.source = given.size() == 1 ? given.front() : given.front() + " ...";
        s.files = static_cast<int>(series.files.size());
        s.first = first;
        s.last = last;
        s.pixelMm = head.dfov / kSide;
        s.kernel = head.kernel;
        s.thicknessMm = head.thickness;
        s.kv = head.kV;
        s.mas = head.mAs;
        s.ctdiVolMgy = head.ctdi;
        for (int k = first - 1; k < last; ++k) {
            const SliceInfo& e = store.slices[size_t(order[size_t(k)])];
            series.slices.push_back({series.pixels[size_t(k - first + 1)].data(), e.ctOffset, e.position});
            series.entries.push_back(e);
        }
    } catch (...) {
        guard.run([&] { reader.Form_Unload(); });
        throw;
    }
    guard.run([&] { reader.Form_Unload(); });
    return series;
}

}  // namespace halvex
