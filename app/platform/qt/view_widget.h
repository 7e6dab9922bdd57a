// Shows a window's picture box with the shapes over it and passes pointer,
// key and drop input to the window's logic (the wheel goes through its
// WheelFilter).
#pragma once

#include <QTimer>
#include <QWidget>

#include "platform/window_logic.h"

namespace halvex {

class ViewWidget : public QWidget {
    Q_OBJECT
public:
    ViewWidget(WindowLogic& logic, QWidget* parent = nullptr);

    // Arrow keys arrive with the codes 37 (left) to 40 (down).
    static int keyCode(int qtKey);

protected:
    WindowLogic& logic() const { return logic_; }
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    void refreshIfChanged();

    WindowLogic& logic_;
    QTimer repaintTimer_;
    uint64_t shownRevision_ = ~uint64_t(0);
};

// 0 none, 1 left, 2 right.
int buttonNumber(Qt::MouseButtons buttons);
// Local file paths of a drop.
std::vector<std::string> droppedPaths(const QDropEvent* e);

}  // namespace halvex
