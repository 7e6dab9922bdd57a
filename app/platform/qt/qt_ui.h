// The Ui of the desktop program: Qt dialogs, the system clipboard, window
// titles and a progress bar in the main window's status bar.
#pragma once

#include <QProgressBar>
#include <QWidget>
#include <map>

#include "platform/ports.h"

namespace halvex {

class QtUi : public Ui {
public:
    void setParentWindow(QWidget* parent) { parent_ = parent; }
    void setProgressBar(QProgressBar* bar) { progressBar_ = bar; }
    void addWindow(const std::string& name, QWidget* window) { windows_[name] = window; }

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
    void progress(int done, int total) override;
    void pumpEvents() override;
    void openDocument(const std::string& path) override;

private:
    QWidget* parent_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    std::map<std::string, QWidget*> windows_;
};

// A filter such as "(*.dcm)|*.dcm|(*.*)|*.*|" in Qt's form.
QString qtFileFilter(const std::string& filter);

}  // namespace halvex
