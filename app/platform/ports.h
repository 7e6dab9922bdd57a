// What the window logic needs from the outside world. The Qt program, the
// automation driver and the tests each supply their own implementation.
#pragma once

#include <string>

#include "platform/raster.h"

namespace halvex {

enum class Buttons { Ok, YesNo, YesNoCancel };
enum class Reply { Ok, Yes, No, Cancel };

class Ui {
public:
    virtual ~Ui() = default;

    // A modal input box; cancelling gives the empty text.
    virtual std::string prompt(const std::string& text, const std::string& defaultText) = 0;
    virtual Reply message(const std::string& text, Buttons buttons = Buttons::Ok) = 0;
    // File-open dialog with a filter such as "(*.dcm)|*.dcm|(*.*)|*.*|";
    // cancelling gives the empty text.
    virtual std::string openFile(const std::string& title, const std::string& filter) = 0;
    virtual std::string chooseFolder(const std::string& title) = 0;
    // File-save dialog; cancelling gives the empty text.
    virtual std::string saveFile(const std::string& title, const std::string& filter) = 0;

    virtual void clearClipboard() = 0;
    virtual void setClipboardText(const std::string& text) = 0;
    virtual void setClipboardImage(const RgbImage& image) = 0;

    // A window's caption changed (the window logic keeps the text itself).
    virtual void captionChanged(const std::string& window, const std::string& caption) = 0;
    // A window other than the main one is shown or hidden.
    virtual void showWindow(const std::string& window, bool shown) = 0;
    // Progress of a long command: done of total steps; total 0 ends it.
    virtual void progress(int done, int total) = 0;
    // Lets pending repaints and input through during a long command.
    virtual void pumpEvents() = 0;
    // Opens a file (a report) in the desktop's program for it.
    virtual void openDocument(const std::string& path) { (void)path; }
};

}  // namespace halvex
