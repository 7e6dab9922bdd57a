#include "platform/script/script_ui.h"

namespace halvex {

namespace {
constexpr const char* kNoReply = " (no reply queued)";

const char* replyWord(Reply r) {
    switch (r) {
        case Reply::Yes: return "yes";
        case Reply::No: return "no";
        case Reply::Cancel: return "cancel";
        case Reply::Ok: break;
    }
    return "ok";
}
}  // namespace

std::string quoted(const std::string& text) {
    std::string q = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') q += '\\';
        q += c;
    }
    return q + "\"";
}

std::string ScriptUi::prompt(const std::string& text, const std::string& defaultText) {
    const bool queued = !answers_.empty();
    std::string reply = queued ? answers_.front() : defaultText;
    if (queued) answers_.pop_front();
    out_ << "prompt " << quoted(text) << " default " << quoted(defaultText) << " -> " << quoted(reply)
         << (queued ? "" : kNoReply) << "\n";
    return reply;
}

Reply ScriptUi::message(const std::string& text, Buttons buttons) {
    if (buttons == Buttons::Ok) {
        // A plain message needs no answer; a queued "ok" is taken by it.
        if (!replies_.empty() && replies_.front() == Reply::Ok) replies_.pop_front();
        out_ << "message " << quoted(text) << "\n";
        return Reply::Ok;
    }
    const bool queued = !replies_.empty();
    Reply reply = queued ? replies_.front() : Reply::Yes;
    if (queued) replies_.pop_front();
    if (reply == Reply::Ok) reply = Reply::Yes;
    if (reply == Reply::Cancel && buttons != Buttons::YesNoCancel) reply = Reply::No;
    out_ << "question " << quoted(text) << " -> " << replyWord(reply) << (queued ? "" : kNoReply) << "\n";
    return reply;
}

std::string ScriptUi::dialog(const std::string& title, std::deque<std::string>& queue) {
    const bool queued = !queue.empty();
    std::string path = queued ? queue.front() : std::string();
    if (queued) queue.pop_front();
    out_ << "dialog " << quoted(title) << " -> " << quoted(path) << (queued ? "" : kNoReply) << "\n";
    return path;
}

std::string ScriptUi::openFile(const std::string& title, const std::string&) { return dialog(title, files_); }
std::string ScriptUi::chooseFolder(const std::string& title) { return dialog(title, folders_); }
std::string ScriptUi::saveFile(const std::string& title, const std::string&) { return dialog(title, files_); }

void ScriptUi::clearClipboard() {
    clipboardText_.clear();
    clipboardImage_ = RgbImage();
}

void ScriptUi::setClipboardText(const std::string& text) {
    clearClipboard();
    clipboardText_ = text;
}

void ScriptUi::setClipboardImage(const RgbImage& image) {
    clearClipboard();
    clipboardImage_ = image;
}

void ScriptUi::captionChanged(const std::string& window, const std::string& caption) {
    out_ << "caption " << window << " " << quoted(caption) << "\n";
}

void ScriptUi::openDocument(const std::string& path) { out_ << "open " << quoted(path) << "\n"; }

void ScriptUi::showWindow(const std::string& window, bool shown) {
    out_ << (shown ? "show " : "hide ") << window << "\n";
}

}  // namespace halvex
