// The measurement window on Qt's offscreen platform, opened from the main
// window. Only entries that never ask anything are chosen here: a dialog would
// wait for an answer nobody gives.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QImage>
#include <QMouseEvent>
#include <QPushButton>
#include <array>
#include <filesystem>

#include "../app/app_fixture.h"
#include "measurement/qt/measurement_window.h"
#include "gui_fixture.h"

namespace halvex::testing {
namespace {

class MeasurementWindowTest : public GuiTest {
protected:
    void open() { main.findChild<QPushButton*>("SHOWMW")->click(); }
    QAction* action(const char* name) { return measure.findChild<QAction*>(name); }
    bool shown(const QString& name) { return measure.findChild<QWidget*>(name)->isVisible(); }

    MeasurementWindow measure{workspace, ui};
};

TEST_F(MeasurementWindowTest, OpensWithMenusAndArrowsAndFollowsTheLogic) {
    EXPECT_FALSE(measure.isVisible());
    open();
    ASSERT_TRUE(measure.isVisible());
    EXPECT_FALSE(workspace.measurement.caption().empty());
    EXPECT_EQ(measure.windowTitle().toStdString(), workspace.measurement.caption());
    for (const char* name : {"EDGE", "REDGE", "EDGEOK", "MTFCLC", "CLIPMTF", "LSFPUT", "COMPMTF", "SETTING",
                             "AUTOEDGE", "SAVEGRAPH", "COPYGRAPH", "CLRSCREEN", "NPSVS", "NPSRF", "VSLIT", "FFT2DMTF"}) {
        ASSERT_NE(action(name), nullptr) << name;
        EXPECT_TRUE(action(name)->isEnabled()) << name;
    }
    EXPECT_FALSE(action("CTCONV")->isEnabled());
    EXPECT_FALSE(shown("CENADJ0") || shown("CENADJ1") || shown("FINESTP"));
    EXPECT_TRUE(shown("CENADJ2") && shown("CENADJ3"));

    CTPSFF& logic = workspace.measurement;
    logic.CENADJ.setVisibleAt(0, true);
    logic.CENADJ.setVisibleAt(3, false);
    logic.FINESTP.setVisible(true);
    logic.CTCONV.setEnabled(true);
    EXPECT_TRUE(shown("CENADJ0") && shown("FINESTP") && !shown("CENADJ3"));
    EXPECT_TRUE(action("CTCONV")->isEnabled());
    // Hiding and showing never turns a control into a window of its own.
    for (QWidget* top : QApplication::topLevelWidgets())
        EXPECT_TRUE(!top->isVisible() || top == &main || top == &measure) << top->metaObject()->className();
}

TEST_F(MeasurementWindowTest, GraphIsFullSizeAndBothWaysOfClosingUnload) {
    open();
    auto* graph = measure.findChild<GraphWidget*>("GRAPH");
    ASSERT_NE(graph, nullptr);
    const QString png = QString::fromStdString(folder.path() + "graph.png");
    ASSERT_TRUE(graph->grab().save(png));
    EXPECT_EQ(QImage(png).size(), QSize(640, 480));
    action("COPYGRAPH")->trigger();
    EXPECT_EQ(QApplication::clipboard()->image().size(), QSize(640, 480));

    action("CLRSCREEN")->trigger();
    EXPECT_FALSE(measure.isVisible() || workspace.measurement.loaded());
    open();
    EXPECT_TRUE(measure.isVisible() && workspace.measurement.loaded());
    measure.close();
    EXPECT_FALSE(measure.isVisible() || workspace.measurement.loaded());
    EXPECT_TRUE(main.isVisible());
}

// A graph spanning x 0..1.6 and y 1..0 from top to bottom.
class ScaledGraph : public WindowLogic {
public:
    ScaledGraph(Ui& ui, CommandGuard& guard) : WindowLogic("GRAPHTEST", ui, guard) { canvas.setScale(0, 1, 1.6, 0); }
    Canvas* view() override { return &canvas; }
    void windowMouseDown(int button, float x, float y) override { clicks.push_back({float(button), x, y}); }
    Canvas canvas{640, 480};
    std::vector<std::array<float, 3>> clicks;
};

TEST(GraphWidget, PressReachesLogicAtPixelCentreInUserCoordinates) {
    QtUi ui;
    CommandGuard guard(ui);
    ScaledGraph logic(ui, guard);
    GraphWidget graph(logic, nullptr);
    auto press = [&](QPointF at, Qt::MouseButton button) {
        QMouseEvent e(QEvent::MouseButtonPress, at, graph.mapToGlobal(at), button, button, Qt::NoModifier);
        QApplication::sendEvent(&graph, &e);
    };
    press({100.7, 240.2}, Qt::LeftButton);
    press({0, 479}, Qt::RightButton);
    guard.run([&] { press({10, 10}, Qt::LeftButton); });  // refused while a command runs

    const std::vector<std::array<double, 3>> expected{{1, 100.5 * 1.6 / 640, 1 - 240.5 / 480},
                                                      {2, 0.5 * 1.6 / 640, 1 - 479.5 / 480}};
    ASSERT_EQ(logic.clicks.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        for (size_t k = 0; k < 3; ++k) EXPECT_NEAR(logic.clicks[i][k], expected[i][k], 1e-6) << i << "," << k;
}

}  // namespace
}  // namespace halvex::testing
