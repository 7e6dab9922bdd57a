// The main view's pointer, keys and wheel, the margin clicks that jump
// across position gaps, and the wheel hooks.
#include "app_fixture.h"
#include "wheel/wheel_mouse.h"

namespace halvex::testing {
namespace {

class ViewInputTest : public WorkspaceTest {
protected:
    void SetUp() override { start(); }
    // `count` slices at positions 0, 1, ... with the ROI at its start place
    // (240, 240, 50 x 50).
    void slices(int count) {
        appendSlices(count, 1000);
        win.HS1.setValue(0);
    }
    void drag(int button, float x0, float y0, float x1, float y1) {
        win.viewMouseDown(button, x0, y0);
        win.viewMouseMove(button, x1, y1);
        win.viewMouseUp(button, x1, y1);
    }
};

TEST_F(ViewInputTest, RightDragSetsTheWindowAndClampsIt) {
    slices(2);
    store.windowWidth = 400;
    store.windowCentre = 40;
    drag(2, 100, 200, 200, 170);  // 100 right, 30 up
    EXPECT_EQ(store.windowWidth, 500);
    EXPECT_EQ(store.windowCentre, 10);
    EXPECT_EQ(win.WWTX.text(), "500");
    EXPECT_EQ(win.WCTX.text(), "10");
    store.windowWidth = 32700;
    drag(2, 0, 0, 500, -500);
    EXPECT_EQ(store.windowWidth, 32767);
    EXPECT_EQ(store.windowCentre, -490);
    // A middle press starts nothing.
    win.viewMouseDown(3, 260, 260);
    EXPECT_EQ(win.input().dragMode(), ViewInput::kNone);
}

TEST_F(ViewInputTest, LeftButtonMovesResizesAndPans) {
    slices(2);
    // On the border is not inside: a pan (which does nothing unzoomed).
    win.viewMouseDown(1, 240, 260);
    EXPECT_EQ(win.input().dragMode(), ViewInput::kPan);
    win.viewMouseUp(1, 240, 260);
    // Inside: the outline follows the pointer, centred on it.
    drag(1, 260, 260, 300, 310);
    EXPECT_EQ(store.roiLeft, 275);
    EXPECT_EQ(store.roiTop, 285);
    EXPECT_EQ(win.caption().substr(0, 4), "Ave=");
    // Half the outline would reach column 511: it stays.
    drag(1, 300, 310, 490, 310);
    EXPECT_EQ(store.roiLeft, 275);
    // The bottom-right mark (view 317..325, 327..335) widens it.
    drag(1, 321, 331, 341, 351);
    EXPECT_EQ(store.roiWidth, 70);
    EXPECT_EQ(store.roiHeight, 70);
    // The top-left mark (275..283, 285..293) moves the top-left corner only.
    drag(1, 279, 289, 259, 279);
    EXPECT_EQ(store.roiLeft, 255);
    EXPECT_EQ(store.roiTop, 275);
    EXPECT_EQ(store.roiWidth, 90);
    EXPECT_EQ(store.roiHeight, 80);
    // Zoomed, a press outside the outline pans; the origin stays in 2 .. 253.
    win.BAI2CK.click();
    drag(1, 20, 20, 500, 20);
    EXPECT_EQ(win.zoomOriginX(), 2);
    drag(1, 500, 20, 0, 20);
    EXPECT_EQ(win.zoomOriginX(), 253);
}

TEST_F(ViewInputTest, ArrowKeysMoveTheRoiAndMeasuringClipsIt) {
    slices(2);
    win.keyDown(39);
    win.keyDown(40);
    win.keyDown(40);
    EXPECT_EQ(store.roiLeft, 241);
    EXPECT_EQ(store.roiTop, 242);
    EXPECT_EQ(win.SH1.left(), 241);
    win.keyUp(40);
    EXPECT_EQ(win.caption().substr(0, 4), "Ave=");
    store.roiLeft = 509;
    win.keyDown(39);
    win.keyDown(39);
    win.keyDown(39);  // now 512: nothing of it inside the image
    win.keyUp(39);
    EXPECT_EQ(win.caption(), "ROI outside the image");
}

TEST_F(ViewInputTest, WheelPagesOneOrFiveAndMarginClicksJumpGaps) {
    slices(40);
    // Positions 0 .. 9, 30 .. 39, 60 .. 79: gaps after slices 10 and 20.
    for (int i = 0; i < 40; ++i) store.slices[size_t(i)].position = float(i < 10 ? i : i < 20 ? 20 + i : 40 + i);
    struct Step {
        std::function<void()> input;
        int slice;  // 0-based, after the input
    };
    const Step steps[] = {
        {[&] { win.viewMouseMove(0, 100, 50); win.wheel(1); }, 1},
        {[&] { win.viewMouseMove(0, 450, 50); win.wheel(1); }, 6},
        {[&] { win.wheel(-1); }, 1},
        {[&] { win.wheel(-1); }, 0},
        {[&] { win.windowMouseDown(1, 500, 10); }, 9},
        {[&] { win.windowMouseDown(1, 500, 10); }, 19},
        {[&] { win.windowMouseDown(1, 300, 10); }, 19},
        {[&] { win.windowMouseDown(1, 20, 10); }, 10},
        {[&] { win.windowMouseDown(1, 20, 10); }, 0},
        {[&] { win.windowMouseDown(1, 500, 10); win.windowMouseDown(1, 500, 10); win.windowMouseDown(1, 500, 10); }, 39},
        {[&] { win.viewMouseMove(0, 450, 50); win.wheel(1); }, 39},
    };
    int n = 0;
    for (const Step& s : steps) {
        s.input();
        EXPECT_EQ(store.currentSlice, s.slice) << "step " << n;
        EXPECT_EQ(win.HS1.value(), s.slice) << "step " << n++;
    }
}

TEST(WheelHooks, OneObjectPerViewAndOneEventPerMessage) {
    constexpr int32_t kView = 1 << 30;  // far from the handles of the windows
    clsWheelMouse first, second;
    std::vector<int> turns;
    std::vector<std::pair<float, float>> presses;
    first.MouseWheel = [&](int16_t d) { turns.push_back(d); };
    first.MouseWheelButtonDown = [&](float x, float y) { presses.emplace_back(x, y); };
    second.MouseWheel = [&](int16_t) { turns.push_back(99); };
    int16_t result = 0;
    first.Initialize(0, result);
    EXPECT_EQ(result, 0);  // no view
    first.Initialize(kView, result);
    EXPECT_EQ(result, -1);
    second.Initialize(kView, result);
    EXPECT_EQ(result, 0);
    second.Terminate();  // it never hooked: the first object's hook stays

    auto wheelMessage = [](int delta) { return int64_t(uint16_t(int16_t(delta))) << 16; };
    EXPECT_TRUE(modWheelMouse::wheelWindowProc(kView, modWheelMouse::kMouseWheel, wheelMessage(-120), 0));
    EXPECT_TRUE(modWheelMouse::wheelWindowProc(kView, modWheelMouse::kMouseWheel, wheelMessage(240), 0));
    EXPECT_FALSE(modWheelMouse::wheelWindowProc(kView, modWheelMouse::kMouseWheel, wheelMessage(0), 0));
    EXPECT_FALSE(modWheelMouse::wheelWindowProc(kView + 1, modWheelMouse::kMouseWheel, wheelMessage(120), 0));
    EXPECT_EQ(turns, (std::vector<int>{-1, 1}));

    modWheelMouse::setTwipsPerPixel(15, 15);
    const int64_t point = (int64_t(uint16_t(int16_t(-3))) << 16) | 20;  // x 20, y -3
    modWheelMouse::wheelWindowProc(kView, modWheelMouse::kMiddleButtonDown, 0, point);
    ASSERT_EQ(presses.size(), 1u);
    EXPECT_FLOAT_EQ(presses[0].first, 300);
    EXPECT_FLOAT_EQ(presses[0].second, -45);

    // A handler that causes another message raises nothing nested.
    first.MouseWheel = [&](int16_t d) {
        turns.push_back(d);
        modWheelMouse::wheelWindowProc(kView, modWheelMouse::kMouseWheel, wheelMessage(120), 0);
    };
    modWheelMouse::wheelWindowProc(kView, modWheelMouse::kMouseWheel, wheelMessage(120), 0);
    EXPECT_EQ(turns.size(), 3u);
    first.Terminate();
    EXPECT_FALSE(modWheelMouse::wheelWindowProc(kView, modWheelMouse::kMouseWheel, wheelMessage(120), 0));
}

}  // namespace
}  // namespace halvex::testing
