// The comparison window: "Dual Win", its own slice, window and ROI, the
// position searches, the jumps by tens, and its view input.
#include "app_fixture.h"

namespace halvex::testing {
namespace {

class CompareTest : public WorkspaceTest {
protected:
    void SetUp() override { start(); }
    CTDSP2& dual = ws.dual;
};

TEST_F(CompareTest, DualWinFollowsTheMainWindowThenGoesItsOwnWay) {
    win.DUALBTN.click();  // an empty list: shown, nothing read
    EXPECT_TRUE(dual.loaded());
    EXPECT_NE(output().find("show CTDSP2"), std::string::npos);
    appendSlices(40, 100, -1000);
    win.HS1.setValue(25);
    win.WWTX.setText("300");
    win.WCTX.setText("20");
    win.DUALBTN.click();
    EXPECT_EQ(store.dualCurrentSlice, 25);
    EXPECT_EQ(dual.workImage()[0], 125);
    EXPECT_EQ(dual.ctOffset(), -1000);
    EXPECT_EQ(store.dualWindowWidth, 300);
    EXPECT_EQ(dual.WCTX.text(), "20");
    // Jumps by tens (1-based: to 30, back to 20), and from 5 back to the start.
    dual.FFIMG.click();
    EXPECT_EQ(store.dualCurrentSlice, 29);
    dual.REWIMG.click();
    EXPECT_EQ(store.dualCurrentSlice, 19);
    dual.HS1.setValue(5);
    dual.REWIMG.click();
    EXPECT_EQ(store.dualCurrentSlice, 0);
    EXPECT_EQ(dual.workImage()[0], 100);
    EXPECT_EQ(store.currentSlice, 25);  // the main window stays

    // Its own window by a right drag, its own slice by the wheel.
    dual.viewMouseDown(2, 100, 100);
    dual.viewMouseMove(2, 150, 100);
    dual.viewMouseUp(2, 150, 100);
    EXPECT_EQ(store.dualWindowWidth, 350);
    EXPECT_EQ(store.windowWidth, 300);
    dual.viewMouseMove(0, 450, 10);
    dual.wheel(1);
    EXPECT_EQ(store.dualCurrentSlice, 5);
    dual.SAMEWW.click();
    EXPECT_EQ(store.dualWindowWidth, 300);

    // The main window's ROI, measured on the comparison window's slice.
    win.placeRoi(10, 20, 30, 40);
    dual.SAMEROI.click();
    EXPECT_EQ(dual.roiLeftValue(), 10);
    EXPECT_EQ(dual.roiHeightValue(), 40);
    EXPECT_EQ(dual.caption().substr(0, 12), "Ave=-895.00 ");
    EXPECT_EQ(ui.clipboardText(), "-895.00\t0.00");

    // "Clear" of the last slices leaves the comparison slice inside the list.
    dual.HS1.setValue(39);
    for (const char* a : {"-1", "31", "40"}) ui.queueAnswer(a);
    win.CLRIMG.click();
    EXPECT_LE(store.dualCurrentSlice, store.sliceCount - 1);

    win.NEGACK.click();
    EXPECT_EQ(dual.palette()[0], rgb(255, 255, 255));
    ws.stop();
    EXPECT_FALSE(dual.loaded());
}

TEST_F(CompareTest, SameAndNearestSlicePosition) {
    // The comparison series at 0, 1.25, 2.5 ... (20 slices), then the main
    // window's slices at 10, 7.3 and 25.
    appendSlices(23, 0);
    for (int i = 0; i < 20; ++i) store.slices[size_t(i)].position = 1.25f * i;
    store.slices[20].position = 10.0f;
    store.slices[21].position = 7.3f;
    store.slices[22].position = 25.0f;
    win.HS1.setValue(20);
    win.DUALBTN.click();
    dual.HS1.setValue(0);
    struct Case {
        int mainSlice;
        Button* command;
        int expected;
    };
    const Case cases[] = {
        {20, &dual.SAMESP, 8},   // 10.0 exactly
        {21, &dual.SAMESP, 8},   // 7.3: no slice at it, nothing changes
        {21, &dual.QSAMESP, 6},  // 7.5 (0.2 away) against 6.25 (1.05)
        {22, &dual.SAMESP, 22},  // 25: found at the last slice of the list
    };
    for (const Case& c : cases) {
        win.HS1.setValue(c.mainSlice);
        c.command->click();
        EXPECT_EQ(store.dualCurrentSlice, c.expected) << c.mainSlice << " " << c.command->name();
    }
}

}  // namespace
}  // namespace halvex::testing
