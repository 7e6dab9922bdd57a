#include "wheel/qt/wheel_filter.h"

#include <algorithm>

#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>

#include "wheel/wheel_mouse.h"

namespace halvex {

namespace {
// x in the low, y in the high 16 bits, as a message carries a point.
int64_t packPoint(const QPointF& p) {
    return (int64_t(uint16_t(int16_t(p.y()))) << 16) | uint16_t(int16_t(p.x()));
}
}  // namespace

WheelFilter::WheelFilter(WindowLogic& logic, QWidget* view) : QObject(view), logic_(logic) {
    view->setMouseTracking(true);
    view->installEventFilter(this);
    modWheelMouse::setTwipsPerPixel(1440.0 / view->logicalDpiX(), 1440.0 / view->logicalDpiY());
}

bool WheelFilter::eventFilter(QObject* watched, QEvent* event) {
    uint32_t message = 0;
    int64_t wParam = 0, lParam = 0;
    if (event->type() == QEvent::Wheel) {
        const auto* e = static_cast<QWheelEvent*>(event);
        const int delta = std::clamp(e->angleDelta().y(), -32768, 32767);
        message = modWheelMouse::kMouseWheel;
        wParam = int64_t(uint16_t(int16_t(delta))) << 16;
        lParam = packPoint(e->position());
    } else if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease) {
        const auto* e = static_cast<QMouseEvent*>(event);
        if (e->button() != Qt::MiddleButton) return QObject::eventFilter(watched, event);
        message = event->type() == QEvent::MouseButtonPress ? modWheelMouse::kMiddleButtonDown
                                                            : modWheelMouse::kMiddleButtonUp;
        lParam = packPoint(e->position());
    } else {
        return QObject::eventFilter(watched, event);
    }
    const int32_t handle = logic_.viewHandle();
    logic_.guard().run([&] { modWheelMouse::wheelWindowProc(handle, message, wParam, lParam); });
    // The wheel is the hooks' alone; a middle press goes on to the view too.
    return event->type() == QEvent::Wheel;
}

}  // namespace halvex
