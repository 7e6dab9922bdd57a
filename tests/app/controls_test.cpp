#include <gtest/gtest.h>

#include "platform/controls.h"

namespace halvex {
namespace {

TEST(ScrollBar, RaisesChangeOnlyWhenTheValueChanges) {
    ScrollBar bar("HS1");
    int changes = 0;
    bar.onChange = [&] { ++changes; };
    bar.setMaximum(10);
    bar.setValue(4);
    bar.setValue(4);
    EXPECT_EQ(changes, 1);
    bar.setValue(99);  // limited to the maximum
    EXPECT_EQ(bar.value(), 10);
    EXPECT_EQ(changes, 2);
    bar.setMaximum(6);  // the value follows a lower maximum, with its Change
    EXPECT_EQ(bar.value(), 6);
    EXPECT_EQ(changes, 3);
    bar.setMaximum(-1);  // an empty list: the value rests at the minimum
    EXPECT_EQ(bar.value(), 0);
}

TEST(CheckBox, SettingRaisesClickWhenChangedAndAClickToggles) {
    CheckBox box("NEGACK", "Nega");
    int clicks = 0;
    box.onClick = [&] { ++clicks; };
    box.setValue(0);
    EXPECT_EQ(clicks, 0);
    box.click();
    EXPECT_TRUE(box.checked());
    box.click();
    EXPECT_FALSE(box.checked());
    EXPECT_EQ(clicks, 2);
}

TEST(OptionGroup, SelectingAnotherRaisesClickAUserClickAlways) {
    OptionGroup group("OP1", {"a", "b", "c"});
    std::vector<int> clicked;
    group.onClick = [&](int i) { clicked.push_back(i); };
    group.select(1);
    group.select(1);
    group.click(1);
    group.click(7);  // no such button
    EXPECT_EQ(clicked, (std::vector<int>{1, 1}));
    EXPECT_EQ(group.selected(), 1);
}

TEST(ControlModels, TellTheirViewOfEveryChange) {
    TextBox box("WWTX");
    int refreshes = 0;
    box.changed = [&] { ++refreshes; };
    box.setText("400");
    Shape shape("SH1", 50, 50);
    shape.changed = [&] { ++refreshes; };
    shape.move(10, 20);
    EXPECT_EQ(refreshes, 2);
    EXPECT_EQ(shape.width(), 50);
}

}  // namespace
}  // namespace halvex
