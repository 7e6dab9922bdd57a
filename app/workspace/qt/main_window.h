// The main window on screen: the image view on the left, the controls grouped
// on the right, a progress bar in the status bar.
#pragma once

#include <QMainWindow>
#include <QProgressBar>
#include <functional>

#include "platform/qt/qt_ui.h"
#include "platform/window_logic.h"
#include "workspace/CTDSPF.h"

namespace halvex {

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // `closing` ends the program's windows when this one closes.
    MainWindow(CTDSPF& main, CommandGuard& guard, QtUi& ui, std::function<void()> closing);

protected:
    void closeEvent(QCloseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    QWidget* buildControls();
    QWidget* buildNoiseReduction(QWidget* panel);

    CTDSPF& main_;
    CommandGuard& guard_;
    std::function<void()> closing_;
    QProgressBar* progress_;
};

}  // namespace halvex
