// Real Qt mouse, key and wheel events sent to the main window's view on the
// offscreen platform: they must reach the window's logic as the user's
// drags, key presses and wheel turns.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include "gui_fixture.h"
#include "platform/qt/view_widget.h"

namespace halvex::testing {
namespace {

void mouse(QWidget* view, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons held, QPointF at) {
    QMouseEvent e(type, at, view->mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(view, &e);
}

void drag(QWidget* view, Qt::MouseButton button, QPointF from, QPointF to) {
    mouse(view, QEvent::MouseButtonPress, button, button, from);
    mouse(view, QEvent::MouseMove, Qt::NoButton, button, to);
    mouse(view, QEvent::MouseButtonRelease, button, Qt::NoButton, to);
}

void turn(QWidget* view, QPointF at, QPoint angle) {
    QWheelEvent e(at, view->mapToGlobal(at), QPoint(), angle, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view, &e);
}

void key(QWidget* view, QEvent::Type type, int code, bool repeat = false) {
    QKeyEvent e(type, code, Qt::NoModifier, QString(), repeat);
    QApplication::sendEvent(view, &e);
}

TEST_F(GuiTest, ViewEventsReachTheLogicAsDragsKeysAndWheelTurns) {
    MainWindow& window = main;
    ImageStore& store = workspace.store;
    for (int i = 0; i < 12; ++i) {
        std::fill(store.workImage.begin(), store.workImage.end(), int16_t(1000 + i));
        STOREIMG(store, -1024, float(i), 250);
    }
    workspace.main.HS1.setValue(0);
    auto* view = window.findChild<ViewWidget*>();
    ASSERT_NE(view, nullptr);

    // Right drag: 50 right widens the window by 50, 20 up lowers the centre by 20.
    store.windowWidth = 400;
    store.windowCentre = 40;
    drag(view, Qt::RightButton, {100, 100}, {150, 80});
    EXPECT_EQ(store.windowWidth, 450);
    EXPECT_EQ(store.windowCentre, 20);
    EXPECT_EQ(workspace.main.WWTX.text(), "450");
    // Left drag inside the outline (240, 240, 50 x 50) moves the ROI.
    drag(view, Qt::LeftButton, {260, 260}, {300, 300});
    EXPECT_EQ(store.roiLeft, 275);
    EXPECT_EQ(store.roiTop, 275);
    // A middle press starts nothing.
    drag(view, Qt::MiddleButton, {300, 300}, {350, 350});
    EXPECT_EQ(store.roiLeft, 275);
    // Arrow keys, keypad arrows alike; an auto-repeated release is ignored.
    key(view, QEvent::KeyPress, Qt::Key_Right);
    key(view, QEvent::KeyRelease, Qt::Key_Right, true);
    key(view, QEvent::KeyPress, Qt::Key_Down);
    key(view, QEvent::KeyRelease, Qt::Key_Down);
    EXPECT_EQ(store.roiLeft, 276);
    EXPECT_EQ(store.roiTop, 276);
    // The wheel: one slice per notch on the left, five on the right 111
    // columns, nothing for a sideways turn.
    mouse(view, QEvent::MouseMove, Qt::NoButton, Qt::NoButton, {100, 50});
    turn(view, {100, 50}, {0, 120});
    EXPECT_EQ(store.currentSlice, 1);
    mouse(view, QEvent::MouseMove, Qt::NoButton, Qt::NoButton, {450, 50});
    turn(view, {450, 50}, {0, 120});
    EXPECT_EQ(store.currentSlice, 6);
    turn(view, {450, 50}, {0, -240});
    EXPECT_EQ(store.currentSlice, 1);
    turn(view, {450, 50}, {120, 0});
    EXPECT_EQ(store.currentSlice, 1);
    EXPECT_EQ(workspace.main.HS1.value(), 1);
}

}  // namespace
}  // namespace halvex::testing
