#include "compare/qt/compare_window.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "platform/qt/control_binding.h"
#include "platform/qt/view_widget.h"

namespace halvex {

CompareWindow::CompareWindow(Workspace& workspace, QtUi& ui) {
    setObjectName("CTDSP2");
    // Closing it only hides it: the main window unloads it when it closes.
    setAttribute(Qt::WA_QuitOnClose, false);
    CTDSP2& w = workspace.dual;
    CommandGuard& g = workspace.guard;

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->addWidget(new ViewWidget(w, central));
    column->addLayout(bindSliceRow(w.HS1, w.Label1, g, central));
    auto* windowRow = new QHBoxLayout;
    windowRow->addWidget(bindLabel(w.WWLBL, g, central));
    windowRow->addWidget(bindTextBox(w.WWTX, g, central));
    windowRow->addWidget(bindLabel(w.WLLBL, g, central));
    windowRow->addWidget(bindTextBox(w.WCTX, g, central));
    windowRow->addWidget(bindButton(w.WWSET, g, central));
    column->addLayout(windowRow);
    auto* buttons = new QHBoxLayout;
    for (Button* b : {&w.REWIMG, &w.FFIMG, &w.SAMESP, &w.QSAMESP, &w.SAMEROI, &w.SAMEWW})
        buttons->addWidget(bindButton(*b, g, central));
    column->addLayout(buttons);
    setCentralWidget(central);

    setWindowTitle("Dual");
    ui.addWindow(w.name(), this);
    hide();
}

}  // namespace halvex
