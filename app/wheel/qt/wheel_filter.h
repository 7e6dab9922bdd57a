// Hands a view's wheel turns and middle-button presses to the wheel hooks
// as the messages modWheelMouse understands, under the command guard.
#pragma once

#include <QObject>

#include "platform/window_logic.h"

namespace halvex {

class WheelFilter : public QObject {
    Q_OBJECT
public:
    WheelFilter(WindowLogic& logic, QWidget* view);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    WindowLogic& logic_;
};

}  // namespace halvex
