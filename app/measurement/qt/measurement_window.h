// The measurement window on screen: its menu bar, the arrow buttons above the
// graph, and the graph, which takes clicks in the graph's own coordinates.
#pragma once

#include <QMainWindow>

#include "platform/qt/qt_ui.h"
#include "platform/qt/view_widget.h"
#include "workspace.h"

namespace halvex {

// Shows a window's graph (its view, with the marker line over it) and passes
// a mouse press on it to the logic in the graph's user coordinates.
class GraphWidget : public ViewWidget {
    Q_OBJECT
public:
    // `marker`, when given, is drawn by the logic's composedView(); the graph
    // is repainted whenever it moves or is shown or hidden.
    GraphWidget(WindowLogic& logic, LineShape* marker, QWidget* parent = nullptr);

protected:
    void mousePressEvent(QMouseEvent* e) override;
};

class MeasurementWindow : public QMainWindow {
    Q_OBJECT
public:
    MeasurementWindow(Workspace& workspace, QtUi& ui);

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void buildMenus();

    Workspace& workspace_;
};

}  // namespace halvex
