#include "platform/qt/view_widget.h"

#include <QDragEnterEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>

#include "platform/qt/qt_text_painter.h"
#include "wheel/qt/wheel_filter.h"

namespace halvex {

int buttonNumber(Qt::MouseButtons buttons) {
    if (buttons & Qt::LeftButton) return 1;
    if (buttons & Qt::RightButton) return 2;
    return 0;
}

std::vector<std::string> droppedPaths(const QDropEvent* e) {
    std::vector<std::string> paths;
    for (const QUrl& url : e->mimeData()->urls())
        if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
    return paths;
}

ViewWidget::ViewWidget(WindowLogic& logic, QWidget* parent) : QWidget(parent), logic_(logic) {
    const RgbImage& image = logic_.view()->image();
    setFixedSize(image.width, image.height);
    setFocusPolicy(Qt::StrongFocus);
    setAcceptDrops(true);
    // The wheel reaches the window through its wheel object.
    new WheelFilter(logic_, this);
    for (const Shape* s : logic_.viewShapes()) const_cast<Shape*>(s)->changed = [this] { update(); };
    connect(&repaintTimer_, &QTimer::timeout, this, &ViewWidget::refreshIfChanged);
    repaintTimer_.start(30);
}

int ViewWidget::keyCode(int qtKey) {
    switch (qtKey) {
        case Qt::Key_Left: return 37;
        case Qt::Key_Up: return 38;
        case Qt::Key_Right: return 39;
        case Qt::Key_Down: return 40;
        default: return qtKey & 0xFFFF;
    }
}

void ViewWidget::refreshIfChanged() {
    if (logic_.view()->revision() != shownRevision_) update();
}

void ViewWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    shownRevision_ = logic_.view()->revision();
    painter.drawImage(0, 0, toQImage(logic_.composedView()));
}

void ViewWidget::mousePressEvent(QMouseEvent* e) {
    const QPointF p = e->position();
    logic_.guard().run([&] { logic_.viewMouseDown(buttonNumber(e->button()), float(p.x()), float(p.y())); });
}

void ViewWidget::mouseMoveEvent(QMouseEvent* e) {
    const QPointF p = e->position();
    logic_.guard().run([&] { logic_.viewMouseMove(buttonNumber(e->buttons()), float(p.x()), float(p.y())); });
}

void ViewWidget::mouseReleaseEvent(QMouseEvent* e) {
    const QPointF p = e->position();
    logic_.guard().run([&] { logic_.viewMouseUp(buttonNumber(e->button()), float(p.x()), float(p.y())); });
}

void ViewWidget::keyPressEvent(QKeyEvent* e) {
    const int code = keyCode(e->key());
    logic_.guard().run([&] { logic_.keyDown(code); });
}

void ViewWidget::keyReleaseEvent(QKeyEvent* e) {
    if (e->isAutoRepeat()) return;
    const int code = keyCode(e->key());
    logic_.guard().run([&] { logic_.keyUp(code); });
}

void ViewWidget::dragEnterEvent(QDragEnterEvent* e) {
    if (e->mimeData()->hasUrls()) e->acceptProposedAction();
}

void ViewWidget::dropEvent(QDropEvent* e) {
    const auto paths = droppedPaths(e);
    if (paths.empty()) return;
    e->acceptProposedAction();
    logic_.guard().run([&] { logic_.dropOnView(paths); });
}

}  // namespace halvex
