// Ordering and trimming the slice list, and the raw-slice loader.
#include <gtest/gtest.h>

#include "app_fixture.h"
#include "workspace/slice_list.h"

namespace halvex::testing {
namespace {

TEST(Stonum, JoinsDigitsAndKeepsTheLastNine) {
    EXPECT_EQ(STONUM("IM0012.dcm"), 12);
    EXPECT_EQ(STONUM("no digits"), 0);
    EXPECT_EQ(STONUM("a1b2c3"), 123);
    EXPECT_EQ(STONUM("1234567890123"), 567890123);
}

class ListTest : public WorkspaceTest {
protected:
    // Ten entries whose positions tell where they came from.
    void tenSlices() {
        start();
        appendSlices(10, 100);
        for (int i = 0; i < 10; ++i) store.slices[size_t(i)].position = float(i);
    }
    std::vector<float> positions() const {
        std::vector<float> p;
        for (int i = 0; i < store.sliceCount; ++i) p.push_back(store.slices[size_t(i)].position);
        return p;
    }
};

TEST_F(ListTest, ClearingARangeMovesTheRestDown) {
    tenSlices();
    ui.queueAnswer("-1");
    ui.queueAnswer("3");
    ui.queueAnswer("5");
    win.CLRIMG.click();
    EXPECT_EQ(store.sliceCount, 7);
    EXPECT_EQ(positions(), (std::vector<float>{0, 1, 5, 6, 7, 8, 9}));
    EXPECT_EQ(win.HS1.maximum(), 6);
    EXPECT_EQ(win.Label1.caption(), "1");
    // The next Clear offers the last answer.
    ui.queueAnswer("7");
    win.CLRIMG.click();
    EXPECT_NE(output().find("default \"-1\" -> \"7\""), std::string::npos);
}

TEST_F(ListTest, ClearKeepsTheFirstEntriesAndContinuesAfterTheLastSlot) {
    tenSlices();
    store.slices[1].name = "ATEMP0007";
    ui.queueAnswer("4");
    win.CLRIMG.click();
    EXPECT_EQ(store.sliceCount, 4);
    EXPECT_EQ(store.tempSlotCount, 8);
    EXPECT_EQ(win.caption(), "");
    ui.queueAnswer("0");
    win.CLRIMG.click();
    EXPECT_EQ(store.sliceCount, 0);
    EXPECT_EQ(store.tempSlotCount, 0);
    EXPECT_EQ(win.Label1.caption(), "0");
}

TEST_F(ListTest, CancellingClearKeepsTheList) {
    tenSlices();
    ui.queueAnswer("");
    win.CLRIMG.click();
    EXPECT_EQ(store.sliceCount, 10);
    EXPECT_EQ(store.tempSlotCount, 10);
}

TEST_F(ListTest, ClearRefusesAnswersThatWouldGrowOrBreakTheList) {
    tenSlices();
    for (const char* answer : {"11", "-2"}) {
        ui.queueAnswer(answer);
        win.CLRIMG.click();
        EXPECT_EQ(store.sliceCount, 10) << answer;
    }
    ui.queueAnswer("-1");
    ui.queueAnswer("9");
    ui.queueAnswer("12");
    win.CLRIMG.click();
    EXPECT_EQ(store.sliceCount, 10);
    EXPECT_NE(output().find("message \"Clear:"), std::string::npos);
}

TEST_F(ListTest, SortBySlicePositionDescendingWithOrder) {
    tenSlices();
    win.ORDER.click();
    win.SSORT(0, 9);
    EXPECT_EQ(positions(), (std::vector<float>{9, 8, 7, 6, 5, 4, 3, 2, 1, 0}));
    win.ORDER.click();
    win.SSORT(0, 9);
    EXPECT_EQ(positions().front(), 0);
}

TEST_F(ListTest, SeriesGroupingSortsEachSeriesByTheKey) {
    start();
    appendSlices(4, 100);
    const int series[] = {3, 1, 3, 2};
    const float pos[] = {5, 9, 4, 7};
    for (int i = 0; i < 4; ++i) store.slices[size_t(i)].series = series[i], store.slices[size_t(i)].position = pos[i];
    win.SRSORTCK.setValue(1);
    win.SSORT(0, 3);
    EXPECT_EQ(store.slices[0].series, 1);
    EXPECT_EQ(store.slices[1].series, 2);
    EXPECT_EQ(positions(), (std::vector<float>{9, 7, 4, 5}));
    EXPECT_EQ(store.currentSlice, 0);
}

TEST_F(ListTest, JumpsByTens) {
    start();
    appendSlices(30, 100);
    win.HS1.setValue(25);
    win.PRVSR.click();
    EXPECT_EQ(store.currentSlice, 19);
    win.PRVSR.click();
    EXPECT_EQ(store.currentSlice, 9);
    win.HS1.setValue(5);
    win.PRVSR.click();
    EXPECT_EQ(store.currentSlice, 0);
    win.NXTSR.click();
    EXPECT_EQ(store.currentSlice, 9);
    win.NXTSR.click();
    EXPECT_EQ(store.currentSlice, 19);
    win.NXTSR.click();
    win.NXTSR.click();
    EXPECT_EQ(store.currentSlice, 29);  // never past the last slice
    EXPECT_EQ(win.Label1.caption(), "30");
}

TEST_F(ListTest, StartAndEndBoxesTakeTheSliceInViewAndJumpBack) {
    start();
    appendSlices(12, 100);
    win.HS1.setValue(7);
    win.STTX.click();
    EXPECT_EQ(win.STTX.text(), "8");
    win.HS1.setValue(2);
    win.STENLBL.click(0);
    EXPECT_EQ(store.currentSlice, 7);
}

TEST_F(WorkspaceTest, RawReadLoadsEveryRawSliceOfTheFolderSkippingWrongSizes) {
    start();
    TempFolder raws;
    writeFile(raws.path() + "b002.RAW", rawSlice(1100));
    writeFile(raws.path() + "a001.raw", rawSlice(1000));
    writeFile(raws.path() + "c003.raw", std::string(1000, '\0'));   // too short for a slice
    writeFile(raws.path() + "d004.raw", std::string(900000, '\0')); // too long
    writeFile(raws.path() + "e005.txt", rawSlice(5));
    ui.queueFile(raws.path() + "a001.raw");
    ui.queueAnswer(raws.path());
    ui.queueAnswer("0.25");
    ui.queueAnswer("1.5");
    win.RAWRD.click();
    ASSERT_EQ(store.sliceCount, 2);
    EXPECT_EQ(store.slices[0].name, "a001.raw");
    EXPECT_EQ(store.slices[1].name, "b002.RAW");
    EXPECT_FLOAT_EQ(store.slices[1].position, 1.5f);
    EXPECT_FLOAT_EQ(store.slices[0].dfov, 128.0f);
    EXPECT_EQ(store.slices[0].kernel, "na");
    EXPECT_EQ(store.slices[0].series, 1);
    EXPECT_EQ(store.workImage[0], 1000);
}

}  // namespace
}  // namespace halvex::testing
