#include "workspace/qt/main_window.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMimeData>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QStatusBar>
#include <QVBoxLayout>

#include "platform/qt/control_binding.h"
#include "platform/qt/view_widget.h"

namespace halvex {

MainWindow::MainWindow(CTDSPF& main, CommandGuard& guard, QtUi& ui, std::function<void()> closing)
    : main_(main), guard_(guard), closing_(std::move(closing)) {
    setObjectName("CTDSPF");
    setWindowTitle("CT-3DMORV");
    setAcceptDrops(true);
    CTDSPF& w = main_;
    CommandGuard& g = guard_;

    auto* central = new QWidget(this);
    auto* layout = new QHBoxLayout(central);

    auto* viewColumn = new QVBoxLayout;
    viewColumn->addWidget(new ViewWidget(w, central));
    viewColumn->addLayout(bindSliceRow(w.HS1, w.Label1, g, central));
    viewColumn->addStretch(1);
    layout->addLayout(viewColumn);

    auto* scroll = new QScrollArea(central);
    scroll->setWidgetResizable(true);
    QWidget* controls = buildControls();
    scroll->setWidget(controls);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setMinimumWidth(controls->sizeHint().width() + scroll->verticalScrollBar()->sizeHint().width() + 4);
    layout->addWidget(scroll, 1);
    setCentralWidget(central);

    progress_ = new QProgressBar(this);
    progress_->setVisible(false);
    statusBar()->addPermanentWidget(progress_);
    ui.setParentWindow(this);
    ui.setProgressBar(progress_);
    ui.addWindow(w.name(), this);
    resize(900, 640);
}

QWidget* MainWindow::buildControls() {
    CTDSPF& w = main_;
    CommandGuard& g = guard_;
    auto* panel = new QWidget;
    auto* column = new QVBoxLayout(panel);

    auto* window = new QGroupBox("Window", panel);
    auto* grid = new QGridLayout(window);
    grid->addWidget(bindTextBox(w.WWTX, g, window), 0, 0);
    grid->addWidget(bindTextBox(w.WCTX, g, window), 0, 1);
    grid->addWidget(bindButton(w.WWSET, g, window), 0, 2);
    int col = 0;
    for (Button* preset : {&w.HEADBTN, &w.CHESTBTN, &w.ABDOBTN1, &w.ABDOBTN2, &w.BONEBTN})
        grid->addWidget(bindButton(*preset, g, window), 1 + col / 3, col % 3), ++col;
    grid->addWidget(bindCheckBox(w.MEMOWWCK, g, window), 3, 0);
    grid->addWidget(bindCheckBox(w.NEGACK, g, window), 3, 1);
    grid->addWidget(bindCheckBox(w.BAI2CK, g, window), 3, 2);
    column->addWidget(window);

    auto* series = new QGroupBox("Series", panel);
    auto* load = new QGridLayout(series);
    load->addWidget(bindButton(w.DSORT, g, series), 0, 0);
    load->addWidget(bindButton(w.Command3, g, series), 0, 1);
    load->addWidget(bindButton(w.RAWRD, g, series), 0, 2);
    load->addWidget(bindButton(w.CLRIMG, g, series), 0, 3);
    load->addWidget(bindButton(w.PRVSR, g, series), 1, 0);
    load->addWidget(bindButton(w.NXTSR, g, series), 1, 1);
    load->addWidget(bindButton(w.DICOMSVBTN, g, series), 1, 3);
    auto* range = new QHBoxLayout;
    for (int i = 0; i < 2; ++i) {
        auto* label = new ClickableLabel(QString::fromStdString(w.STENLBL.captions[static_cast<size_t>(i)]), series);
        connect(label, &ClickableLabel::clicked, this, [&w, &g, i] { g.run([&w, i] { w.STENLBL.click(i); }); });
        range->addWidget(label);
        range->addWidget(bindTextBox(i == 0 ? w.STTX : w.ENTX, g, series));
    }
    load->addLayout(range, 2, 0, 1, 4);
    auto* sort = new QGroupBox("Sort", series);
    auto* sortGrid = new QGridLayout(sort);
    int option = 0;
    for (QRadioButton* b : bindOptionGroup(w.OP1, g, sort)) sortGrid->addWidget(b, option / 2, option % 2), ++option;
    sortGrid->addWidget(bindCheckBox(w.SRSORTCK, g, sort), 2, 0);
    sortGrid->addWidget(bindCheckBox(w.ORDER, g, sort), 2, 1);
    load->addWidget(sort, 3, 0, 1, 4);
    column->addWidget(series);

    auto* roi = new QGroupBox("ROI", panel);
    auto* roiRow = new QHBoxLayout(roi);
    for (QRadioButton* b : bindOptionGroup(w.ROIS, g, roi)) roiRow->addWidget(b);
    roiRow->addWidget(bindButton(w.SHOWMW, g, roi));
    roiRow->addWidget(bindButton(w.EVALBTN, g, roi));
    roiRow->addWidget(bindButton(w.DUALBTN, g, roi));
    column->addWidget(roi);

    auto* images = new QGroupBox("Images", panel);
    auto* imageRow = new QHBoxLayout(images);
    for (Button* b : {&w.IMGAVE, &w.IMGAVEF, &w.MPRGO}) imageRow->addWidget(bindButton(*b, g, images));
    imageRow->addWidget(bindCheckBox(w.MPRORDCK, g, images));
    column->addWidget(images);

    column->addWidget(buildNoiseReduction(panel));
    column->addStretch(1);
    return panel;
}

QWidget* MainWindow::buildNoiseReduction(QWidget* panel) {
    CTDSPF& w = main_;
    CommandGuard& g = guard_;
    auto* box = new QGroupBox("3D-MORV", panel);
    auto* grid = new QGridLayout(box);
    grid->addWidget(bindLabel(w.PRELBL, g, box), 0, 0, 1, 5);
    int col = 0;
    for (TextBox* t : {&w.PRETYPTX, &w.TYP1ENHTX, &w.TYP2LOWTX, &w.TYP2HIGHTX, &w.TYP2ZENHTX})
        grid->addWidget(bindTextBox(*t, g, box), 1, col++);
    // Each caption above the boxes it names.
    const struct {
        Label* label;
        std::vector<TextBox*> boxes;
    } rows[] = {{&w.RPTLBL, {&w.RPTTX, &w.WNTX}},
                {&w.FQ1LB, {&w.EDGECT1TX, &w.EDGECT2TX}},
                {&w.BLCT1LBL, {&w.BLCT1TX, &w.BLCT2TX}},
                {&w.RORGLB, {&w.RORGTX}}};
    col = 0;
    for (const auto& r : rows) {
        const int span = static_cast<int>(r.boxes.size());
        grid->addWidget(bindLabel(*r.label, g, box), 2, col, 1, span);
        for (TextBox* t : r.boxes) grid->addWidget(bindTextBox(*t, g, box), 3, col++);
    }
    grid->addWidget(bindCheckBox(w.ZREINTPCK, g, box), 4, 0, 1, 2);
    col = 0;
    for (Button* b : {&w.PARAMLD, &w.PARAMSV, &w.EASYBTN}) grid->addWidget(bindButton(*b, g, box), 5, col++ * 2, 1, 2);
    col = 0;
    for (Button* b : {&w.TEST1BTN, &w.TEST2BTN, &w.PROC1}) grid->addWidget(bindButton(*b, g, box), 6, col++ * 2, 1, 2);
    grid->addWidget(bindButton(w.PROC2, g, box), 7, 0, 1, 4);

    // Stop acts while a command runs, so it does not go through the
    // one-command rule; neither does Esc.
    auto* stop = new QPushButton(QString::fromStdString(w.STOPBTN.caption), box);
    stop->setObjectName("STOPBTN");
    connect(stop, &QPushButton::clicked, this, [&w] { w.STOPBTN.click(); });
    grid->addWidget(stop, 7, 4, 1, 2);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [&w] { w.STOPBTN.click(); });
    return box;
}

void MainWindow::closeEvent(QCloseEvent* e) {
    closing_();
    e->accept();
}

void MainWindow::mousePressEvent(QMouseEvent* e) {
    const QPointF p = e->position();
    guard_.run([&] { main_.windowMouseDown(buttonNumber(e->button()), float(p.x()), float(p.y())); });
}

void MainWindow::dragEnterEvent(QDragEnterEvent* e) {
    if (e->mimeData()->hasUrls()) e->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* e) {
    const auto paths = droppedPaths(e);
    if (paths.empty()) return;
    e->acceptProposedAction();
    guard_.run([&] { main_.dropOnWindow(paths); });
}

}  // namespace halvex
