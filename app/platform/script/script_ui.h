// The Ui of the automation driver: replies come from queues that the script
// fills, everything a user would see is echoed as one line per event.
#pragma once

#include <deque>
#include <ostream>
#include <string>

#include "platform/ports.h"

namespace halvex {

// "text" with \" and \\ escaped, as the echo and the script syntax write it.
std::string quoted(const std::string& text);

class ScriptUi : public Ui {
public:
    explicit ScriptUi(std::ostream& out) : out_(out) {}

    void queueAnswer(std::string text) { answers_.push_back(std::move(text)); }
    void queueReply(Reply reply) { replies_.push_back(reply); }
    void queueFile(std::string path) { files_.push_back(std::move(path)); }
    void queueFolder(std::string path) { folders_.push_back(std::move(path)); }

    const std::string& clipboardText() const { return clipboardText_; }
    bool clipboardHasImage() const { return clipboardImage_.width > 0; }
    const RgbImage& clipboardImage() const { return clipboardImage_; }

    std::string prompt(const std::string& text, const std::string& defaultText) override;
    Reply message(const std::string& text, Buttons buttons) override;
    std::string openFile(const std::string& title, const std::string& filter) override;
    std::string chooseFolder(const std::string& title) override;
    std::string saveFile(const std::string& title, const std::string& filter) override;
    void clearClipboard() override;
    void setClipboardText(const std::string& text) override;
    void setClipboardImage(const RgbImage& image) override;
    void captionChanged(const std::string& window, const std::string& caption) override;
    void showWindow(const std::string& window, bool shown) override;
    void progress(int, int) override {}
    void pumpEvents() override {}
    void openDocument(const std::string& path) override;

private:
    std::string dialog(const std::string& title, std::deque<std::string>& queue);

    std::ostream& out_;
    std::deque<std::string> answers_, files_, folders_;
    std::deque<Reply> replies_;
    std::string clipboardText_;
    RgbImage clipboardImage_;
};

}  // namespace halvex
