#include "measurement/qt/measurement_window.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPointer>
#include <QVBoxLayout>
#include <cmath>

#include "platform/qt/control_binding.h"
#include "platform/qt/view_widget.h"

namespace halvex {

GraphWidget::GraphWidget(WindowLogic& logic, LineShape* marker, QWidget* parent) : ViewWidget(logic, parent) {
    setObjectName("GRAPH");
    if (marker) marker->changed = [self = QPointer<GraphWidget>(this)] {
        if (self) self->update();
    };
}

void GraphWidget::mousePressEvent(QMouseEvent* e) {
    // The click counts where the centre of the pixel under the pointer is.
    WindowLogic& logic = this->logic();
    const Canvas& canvas = *logic.view();
    const QPointF p = e->position();
    const float x = static_cast<float>(canvas.toUserX(std::floor(p.x()) + 0.5));
    const float y = static_cast<float>(canvas.toUserY(std::floor(p.y()) + 0.5));
    const int button = buttonNumber(e->button());
    logic.guard().run([&] { logic.windowMouseDown(button, x, y); });
}

MeasurementWindow::MeasurementWindow(Workspace& workspace, QtUi& ui) : workspace_(workspace) {
    setObjectName("CTPSFF");
    // A tool window: closing the main window ends the program even when this
    // one is open.
    setAttribute(Qt::WA_QuitOnClose, false);
    CTPSFF& w = workspace_.measurement;
    CommandGuard& g = workspace_.guard;
    buildMenus();

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    auto* arrows = new QHBoxLayout;
    arrows->addWidget(bindCheckBox(w.FINESTP, g, central));
    for (QPushButton* b : bindButtonArray(w.CENADJ, g, central)) {
        b->setFixedWidth(b->fontMetrics().horizontalAdvance("WW") + 16);
        arrows->addWidget(b);
    }
    arrows->addStretch(1);
    column->addLayout(arrows);
    column->addWidget(new GraphWidget(w, &w.Line1, central));
    setCentralWidget(central);

    if (!w.caption().empty()) setWindowTitle(QString::fromStdString(w.caption()));
    ui.addWindow(w.name(), this);
    hide();
}

void MeasurementWindow::buildMenus() {
    CommandGuard& g = workspace_.guard;
    for (const CTPSFF::Menu& m : workspace_.measurement.menus()) {
        QMenu* menu = menuBar()->addMenu(QString::fromStdString(m.caption));
        menu->setObjectName(QString::fromStdString(m.name));
        for (Button* entry : m.entries) {
            if (entry)
                bindMenuEntry(*entry, g, menu);
            else
                menu->addSeparator();
        }
    }
}

void MeasurementWindow::closeEvent(QCloseEvent* e) {
    // Closing the window is its "Close" entry: the logic unloads the window
    // and hides it.
    workspace_.guard.run([this] { workspace_.measurement.CLRSCREEN.click(); });
    e->accept();
}

}  // namespace halvex
