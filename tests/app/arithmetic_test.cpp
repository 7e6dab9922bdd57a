// "Ave Sub", "Ave." and "MPR": what they append, with its rounding, offset
// and geometry, and the answers that make them do nothing.
#include "app_fixture.h"

namespace halvex::testing {
namespace {

class ArithmeticTest : public WorkspaceTest {
protected:
    void SetUp() override { start(); }
    void click(Button& b, const std::vector<std::string>& answers) {
        for (const std::string& a : answers) ui.queueAnswer(a);
        b.click();
    }
    std::vector<int16_t> last() {
        std::vector<int16_t> px(kSlicePixels);
        EXPECT_TRUE(readSlicePixels(store, store.slices[size_t(store.sliceCount - 1)], px.data()));
        return px;
    }
};

TEST_F(ArithmeticTest, AverageAndDifferenceRoundAndSaturate) {
    // Nothing on an empty list, not even a prompt.
    win.IMGAVE.click();
    EXPECT_EQ(output().find("prompt"), std::string::npos);
    appendSlices(2, 10);       // 10, 11
    appendSlices(2, 11, -20);  // 11, 12 with offset -20
    struct Case {
        std::vector<std::string> answers;
        int16_t value, offset;
    };
    for (const Case& c : {Case{{"0", "1", "2"}, 10, -1024},   // 10.5 -> 10
                          Case{{"0", "3", "4"}, 12, -20}}) {  // 11.5 -> 12
        click(win.IMGAVE, c.answers);
        EXPECT_EQ(last()[1000], c.value);
        EXPECT_EQ(store.slices[size_t(store.sliceCount - 1)].ctOffset, c.offset);
        EXPECT_EQ(store.workCtOffset, c.offset);  // the view shows what was stored
    }
    // One slice after clamping: nothing.
    const int count = store.sliceCount;
    click(win.IMGAVE, {"0", "6", "9"});
    EXPECT_EQ(store.sliceCount, count);
    // A - B beyond the 16-bit range saturates; stored with offset 0.
    std::fill(store.workImage.begin(), store.workImage.end(), int16_t(30000));
    STOREIMG(store, 0, 9, 250);
    std::fill(store.workImage.begin(), store.workImage.end(), int16_t(-30000));
    STOREIMG(store, 0, 10, 250);
    click(win.IMGAVE, {"1", std::to_string(count + 1), std::to_string(count + 2)});
    EXPECT_EQ(last()[7], 32767);
    EXPECT_EQ(store.slices[size_t(store.sliceCount - 1)].ctOffset, 0);
    EXPECT_FLOAT_EQ(store.slices[size_t(store.sliceCount - 1)].position, 9.0f);
}

TEST_F(ArithmeticTest, AveOfTheStartEndRange) {
    appendSlices(3, 100, -1000);
    win.STTX.setText("2");
    win.ENTX.setText("2");
    win.IMGAVEF.click();
    EXPECT_EQ(store.sliceCount, 3);
    win.ENTX.setText("3");
    win.IMGAVEF.click();
    ASSERT_EQ(store.sliceCount, 4);
    EXPECT_EQ(last()[0], 102);  // (101 + 102) / 2 = 101.5 -> 102
    EXPECT_EQ(store.workCtOffset, -1000);
}

TEST_F(ArithmeticTest, CoronalReformatGeometryAndRefusals) {
    // 21 slices 1 mm apart, DFOV 256: each slice holds 100 + 10 k.
    for (int k = 0; k < 21; ++k) {
        std::fill(store.workImage.begin(), store.workImage.end(), int16_t(100 + 10 * k));
        STOREIMG(store, -1024, float(k), 256);
    }
    const int first = 0;
    store.roiTop = 250;
    store.roiHeight = 3;
    click(win.MPRGO, {std::to_string(first + 1), std::to_string(first + 21), "0", "3"});
    ASSERT_EQ(store.sliceCount, first + 21 + 3) << output();
    const std::vector<int16_t> plane = last();
    // H = 20 mm / 0.5 mm = 40 lines, rows 236 .. 276; -500 elsewhere.
    EXPECT_EQ(plane[size_t(235) * 512 + 100], -500);
    EXPECT_EQ(plane[size_t(236) * 512 + 100], 100);
    EXPECT_EQ(plane[size_t(237) * 512 + 100], 105);  // half way to the second slice
    EXPECT_EQ(plane[size_t(276) * 512 + 100], 300);  // the last slice alone
    EXPECT_EQ(plane[size_t(277) * 512 + 100], -500);
    EXPECT_FLOAT_EQ(store.slices[size_t(store.sliceCount - 1)].position, 252.0f);
    // The order flag puts the first slice at the bottom.
    win.MPRORDCK.setValue(1);
    click(win.MPRGO, {std::to_string(first + 1), std::to_string(first + 21), "0", "1"});
    EXPECT_EQ(last()[size_t(276) * 512 + 100], 100);

    // Refusals: no planes, an increment of 0 for repeated positions, no DFOV.
    const int count = store.sliceCount;
    click(win.MPRGO, {std::to_string(first + 1), std::to_string(first + 21), "0", "0"});
    store.slices[size_t(first + 1)].position = store.slices[size_t(first)].position;
    click(win.MPRGO, {std::to_string(first + 1), std::to_string(first + 21), "0", "1", "0"});
    EXPECT_NE(output().find("prompt \"increment = \""), std::string::npos);
    store.slices[size_t(first)].dfov = 0;
    click(win.MPRGO, {std::to_string(first + 1), std::to_string(first + 21), "0"});
    EXPECT_NE(output().find("has no field of view"), std::string::npos);
    EXPECT_EQ(store.sliceCount, count);
}

}  // namespace
}  // namespace halvex::testing
