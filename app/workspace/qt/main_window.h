// The main window on screen: the image view on the left, the controls grouped
// on the right, a progress bar in the status bar.
#pragma once

#include <QMainWindow>
#include <QProgressBar>

#include "platform/qt/qt_ui.h"
#include "workspace/workspace.h"

namespace halvex {

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(Workspace& workspace, QtUi& ui);

protected:
    void closeEvent(QCloseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    QWidget* buildControls();
    QWidget* buildNoiseReduction(QWidget* panel);

    Workspace& workspace_;
    QProgressBar* progress_;
};

}  // namespace halvex
