// The comparison window on screen: its view with the ROI outline, the slice
// scroll bar and number, the window-setting boxes and the navigation buttons.
#pragma once

#include <QMainWindow>

#include "platform/qt/qt_ui.h"
#include "workspace.h"

namespace halvex {

class CompareWindow : public QMainWindow {
    Q_OBJECT
public:
    CompareWindow(Workspace& workspace, QtUi& ui);
};

}  // namespace halvex
