#include "platform/script/batch_driver.h"

#include <charconv>
#include <sstream>

#include "platform/number_text.h"

namespace halvex {

std::optional<std::vector<std::string>> splitScriptLine(const std::string& line) {
    std::vector<std::string> words;
    size_t i = 0;
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (i < line.size() && blank(line[i])) ++i;
    if (i == line.size() || line[i] == '#') return words;
    while (i < line.size()) {
        std::string word;
        if (line[i] == '"') {
            ++i;
            bool closed = false;
            while (i < line.size()) {
                char c = line[i++];
                if (c == '\\' && i < line.size() && (line[i] == '"' || line[i] == '\\')) {
                    word += line[i++];
                } else if (c == '"') {
                    closed = true;
                    break;
                } else {
                    word += c;
                }
            }
            if (!closed) return std::nullopt;
        } else {
            while (i < line.size() && !blank(line[i])) word += line[i++];
        }
        words.push_back(std::move(word));
        while (i < line.size() && blank(line[i])) ++i;
    }
    return words;
}

namespace {

bool parseInt(const std::string& text, int& value) {
    const char* begin = text.data() + (text.size() > 1 && text[0] == '+' ? 1 : 0);
    auto [end, ec] = std::from_chars(begin, text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

bool parseFloat(const std::string& text, float& value) {
    std::istringstream in(text);
    in >> value;
    return in && in.peek() == std::char_traits<char>::eof();
}

}  // namespace

int BatchDriver::run(std::istream& script) {
    std::string line;
    for (int number = 1; std::getline(script, line); ++number) {
        auto words = splitScriptLine(line);
        std::string error = !words ? "unclosed quote" : words->empty() ? "" : execute(*words);
        if (!error.empty()) {
            err_ << "line " << number << ": " << error << "\n";
            return 2;
        }
    }
    return 0;
}

std::string BatchDriver::execute(const std::vector<std::string>& w) {
    const std::string& verb = w[0];
    const size_t args = w.size() - 1;
    auto guarded = [this](const std::function<void()>& event) { workspace_.guard.run(event); };
    WindowLogic* window = workspace_.window(windowName_);

    if (verb == "window") {
        if (args != 1) return "window needs a window name";
        if (w[1] != "CTDSPF" && w[1] != "CTPSFF" && w[1] != "CTDSP2") return "unknown window " + w[1];
        if (!workspace_.window(w[1])) return "window " + w[1] + " is not available";
        windowName_ = w[1];
        return "";
    }
    if (!window) return "window " + windowName_ + " is not available";
    if (verb == "click") return click(w);
    if (verb == "set") return set(w);
    if (verb == "dblclick") {
        if (args != 1) return "dblclick needs a control name";
        auto* box = dynamic_cast<TextBox*>(window->control(w[1]));
        if (!box) return "unknown control " + w[1];
        guarded([box] { box->doubleClick(); });
        return "";
    }
    if (verb == "answer") {
        if (args != 1) return "answer needs one text";
        ui_.queueAnswer(w[1]);
        return "";
    }
    if (verb == "reply") {
        if (args != 1) return "reply needs yes, no, cancel or ok";
        const std::string& r = w[1];
        if (r == "yes") ui_.queueReply(Reply::Yes);
        else if (r == "no") ui_.queueReply(Reply::No);
        else if (r == "cancel") ui_.queueReply(Reply::Cancel);
        else if (r == "ok") ui_.queueReply(Reply::Ok);
        else return "reply needs yes, no, cancel or ok";
        return "";
    }
    if (verb == "file" || verb == "folder") {
        if (args != 1) return verb + " needs one path";
        verb == "file" ? ui_.queueFile(w[1]) : ui_.queueFolder(w[1]);
        return "";
    }
    if (verb == "drop") {
        size_t first = 1;
        bool onWindow = false;
        if (args >= 1 && (w[1] == "view" || w[1] == "window")) onWindow = w[1] == "window", first = 2;
        if (first >= w.size()) return "drop needs at least one path";
        std::vector<std::string> paths(w.begin() + static_cast<std::ptrdiff_t>(first), w.end());
        guarded([&] { onWindow ? window->dropOnWindow(paths) : window->dropOnView(paths); });
        return "";
    }
    if (verb == "mouse") return mouse(w);
    if (verb == "roi") {
        int v[4] = {};
        if (args != 4 || !parseInt(w[1], v[0]) || !parseInt(w[2], v[1]) || !parseInt(w[3], v[2]) ||
            !parseInt(w[4], v[3]) || v[0] < 0 || v[1] < 0 || v[2] < 1 || v[3] < 1 || v[0] + v[2] > 511 ||
            v[1] + v[3] > 511)
            return "roi needs LEFT TOP WIDTH HEIGHT inside the 512 x 512 image";
        guarded([&] { workspace_.main.placeRoi(int16_t(v[0]), int16_t(v[1]), int16_t(v[2]), int16_t(v[3])); });
        return "";
    }
    if (verb == "key") {
        int code = 0;
        if (args != 2 || (w[1] != "down" && w[1] != "up") || !parseInt(w[2], code)) return "key needs down|up CODE";
        guarded([&] { w[1] == "down" ? window->keyDown(code) : window->keyUp(code); });
        return "";
    }
    if (verb == "wheel") {
        if (args != 1 || (w[1] != "+1" && w[1] != "-1")) return "wheel needs +1 or -1";
        guarded([&] { window->wheel(w[1] == "+1" ? 1 : -1); });
        return "";
    }
    if (verb == "print") {
        if (args != 1) return "print needs caption, clipboard, roi, slices or controls";
        return print(w[1]);
    }
    if (verb == "save") {
        if (args != 2) return "save needs view|canvas PATH";
        return save(w[1], w[2]);
    }
    return "unknown command " + verb;
}

std::string BatchDriver::click(const std::vector<std::string>& w) {
    if (w.size() < 2 || w.size() > 3) return "click needs a control name and maybe an index";
    Control* c = workspace_.window(windowName_)->control(w[1]);
    if (!c) return "unknown control " + w[1];
    int index = -1;
    if (w.size() == 3 && !parseInt(w[2], index)) return "bad index " + w[2];
    auto run = [this](const std::function<void()>& event) { workspace_.guard.run(event); };
    switch (c->kind()) {
        case Control::Kind::Button: run([c] { static_cast<Button*>(c)->click(); }); break;
        case Control::Kind::Label: run([c] { static_cast<Label*>(c)->click(); }); break;
        case Control::Kind::TextBox: run([c] { static_cast<TextBox*>(c)->click(); }); break;
        case Control::Kind::CheckBox: run([c] { static_cast<CheckBox*>(c)->click(); }); break;
        case Control::Kind::ButtonArray: {
            auto* buttons = static_cast<ButtonArray*>(c);
            if (index < 0 || index >= buttons->count()) return "click " + w[1] + " needs an index";
            run([buttons, index] { buttons->click(index); });
            break;
        }
        case Control::Kind::LabelArray: {
            auto* labels = static_cast<LabelArray*>(c);
            if (index < 0 || index >= static_cast<int>(labels->captions.size())) return "click " + w[1] + " needs an index";
            run([labels, index] { labels->click(index); });
            break;
        }
        case Control::Kind::OptionGroup: {
            auto* group = static_cast<OptionGroup*>(c);
            if (index < 0 || index >= static_cast<int>(group->captions.size())) return "click " + w[1] + " needs an index";
            run([group, index] { group->click(index); });
            break;
        }
        default: return "cannot click " + w[1];
    }
    return "";
}

std::string BatchDriver::set(const std::vector<std::string>& w) {
    if (w.size() != 3) return "set needs a control name and a value";
    Control* c = workspace_.window(windowName_)->control(w[1]);
    if (!c) return "unknown control " + w[1];
    int value = 0;
    switch (c->kind()) {
        case Control::Kind::TextBox: static_cast<TextBox*>(c)->setText(w[2]); return "";
        case Control::Kind::CheckBox:
            if (!parseInt(w[2], value) || (value != 0 && value != 1)) return "a check box takes 0 or 1";
            workspace_.guard.run([c, value] { static_cast<CheckBox*>(c)->setValue(value); });
            return "";
        case Control::Kind::ScrollBar:
            if (!parseInt(w[2], value)) return "a scroll bar takes an integer";
            workspace_.guard.run([c, value] { static_cast<ScrollBar*>(c)->setValue(value); });
            return "";
        default: return "cannot set " + w[1];
    }
}

std::string BatchDriver::mouse(const std::vector<std::string>& w) {
    int button = 0;
    float x = 0, y = 0;
    if (w.size() != 5 || !parseInt(w[2], button) || button < 0 || button > 2 || !parseFloat(w[3], x) ||
        !parseFloat(w[4], y))
        return "mouse needs down|move|up|window BUTTON X Y";
    WindowLogic* window = workspace_.window(windowName_);
    const std::string& what = w[1];
    std::function<void()> event;
    if (what == "down") event = [=] { window->viewMouseDown(button, x, y); };
    else if (what == "move") event = [=] { window->viewMouseMove(button, x, y); };
    else if (what == "up") event = [=] { window->viewMouseUp(button, x, y); };
    else if (what == "window") event = [=] { window->windowMouseDown(button, x, y); };
    else return "mouse needs down|move|up|window BUTTON X Y";
    workspace_.guard.run(event);
    return "";
}

std::string BatchDriver::print(const std::string& what) {
    WindowLogic* window = workspace_.window(windowName_);
    const ImageStore& s = workspace_.store;
    if (what == "caption") {
        out_ << "caption " << window->name() << " " << quoted(window->caption()) << "\n";
    } else if (what == "clipboard") {
        std::istringstream lines(ui_.clipboardText());
        // Lines of the clipboard end with CR LF; the echo shows them as lines.
        for (std::string line; std::getline(lines, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            out_ << "clipboard| " << line << "\n";
        }
        if (ui_.clipboardHasImage())
            out_ << "clipboard| (bitmap " << ui_.clipboardImage().width << "x" << ui_.clipboardImage().height << ")\n";
        out_ << "clipboard end\n";
    } else if (what == "roi") {
        out_ << "roi left " << s.roiLeft << " top " << s.roiTop << " width " << s.roiWidth << " height " << s.roiHeight
             << " result " << quoted(workspace_.main.roiResultText()) << "\n";
    } else if (what == "slices") {
        printSlices();
    } else if (what == "controls") {
        printControls();
    } else {
        return "print needs caption, clipboard, roi, slices or controls";
    }
    return "";
}

void BatchDriver::printSlices() {
    const ImageStore& s = workspace_.store;
    out_ << "slices " << s.sliceCount << " current " << s.currentSlice + 1 << "\n";
    for (int i = 0; i < s.sliceCount; ++i) {
        const SliceInfo& e = s.slices[static_cast<size_t>(i)];
        out_ << "slice " << i + 1 << " name " << quoted(e.name) << " path " << quoted(e.path) << " offset "
             << e.pixelOffset << " pos " << formatFixed(e.position, "0.00") << " z "
             << formatFixed(e.imagePositionZ, "0.00") << " ser " << e.series << " ct " << e.ctOffset << " thick "
             << formatFixed(e.thickness, "0.00") << " dfov " << formatFixed(e.dfov, "0.00") << " srot "
             << formatFixed(e.rotationTime, "0.000") << " kV " << e.kV << " mA " << formatFixed(e.mA, "0.0")
             << " mAs " << e.mAs << " ctdi " << formatFixed(e.ctdi, "0.000") << " kernel " << quoted(e.kernel)
             << " pname " << quoted(e.patientName) << " keys " << e.fileNumberKey << "," << e.kernelKey << ","
             << e.patientKey;
        // Decoded slices name the compressed file they came from.
        if (!e.sourceFile.empty()) out_ << " source " << quoted(e.sourceFile);
        out_ << lossyMark(e) << "\n";
    }
}

void BatchDriver::printControls() {
    for (const Control* c : workspace_.window(windowName_)->controls()) {
        switch (c->kind()) {
            case Control::Kind::TextBox:
                out_ << "control " << c->name() << " " << quoted(static_cast<const TextBox*>(c)->text()) << "\n";
                break;
            case Control::Kind::CheckBox:
                out_ << "control " << c->name() << " " << static_cast<const CheckBox*>(c)->value() << "\n";
                break;
            case Control::Kind::ScrollBar: {
                auto* bar = static_cast<const ScrollBar*>(c);
                out_ << "control " << c->name() << " " << bar->value() << " (" << bar->minimum() << ".."
                     << bar->maximum() << ")\n";
                break;
            }
            default: break;
        }
    }
}

std::string BatchDriver::save(const std::string& what, const std::string& path) {
    RgbImage image;
    if (what == "view") {
        image = workspace_.window(windowName_)->composedView();
        if (image.width == 0) return "window " + windowName_ + " has no view";
    } else if (what == "canvas") {
        WindowLogic* measurement = workspace_.window("CTPSFF");
        if (!measurement || !measurement->view()) return "the measurement window is not open";
        image = measurement->composedView();
    } else {
        return "save needs view or canvas";
    }
    if (!savePng(image, path)) return "cannot write " + path;
    out_ << "saved " << what << " " << quoted(path) << "\n";
    return "";
}

}  // namespace halvex
