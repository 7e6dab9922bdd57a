#include <gtest/gtest.h>

#include "platform/raster.h"

namespace halvex {
namespace {

TEST(Canvas, BlitsBottomUpBitmapsThroughThePalette) {
    Canvas c(4, 3);
    const uint8_t bottomUp[12] = {1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3};  // first row is the bottom one
    std::array<uint32_t, 256> palette{};
    for (int i = 0; i < 256; ++i) palette[size_t(i)] = rgb(i * 10, 0, 0);
    c.blit8(bottomUp, 4, 3, palette);
    EXPECT_EQ(c.image().at(0, 0), rgb(30, 0, 0));
    EXPECT_EQ(c.image().at(3, 2), rgb(10, 0, 0));
}

TEST(Canvas, UserScaleMapsToPixelsAndClipsAtTheEdges) {
    Canvas c(100, 50);
    c.setScale(0, 1, 10, -1);  // y grows upwards, as in a graph
    c.fillRect(0, 1, 4.99, 0.02, rgb(0, 255, 0));  // the top-left quarter
    EXPECT_EQ(c.image().at(0, 0), rgb(0, 255, 0));
    EXPECT_EQ(c.image().at(49, 24), rgb(0, 255, 0));
    EXPECT_EQ(c.image().at(50, 24), rgb(0, 0, 0));
    EXPECT_EQ(c.image().at(49, 25), rgb(0, 0, 0));
    c.line(-5, 0, 20, 0, paletteColour(12));  // runs off both sides without harm
    EXPECT_EQ(c.image().at(99, 25), paletteColour(12));
}

TEST(Canvas, ClearReturnsToThePersistentPictureAndPrintMovesDown) {
    Canvas c(64, 64);
    c.fillRect(0, 0, 63, 63, rgb(9, 9, 9));
    c.makePersistent();
    c.point(10, 10, rgb(255, 255, 255));
    c.print("one");
    c.print("two");
    ASSERT_EQ(c.printed().size(), 2u);
    EXPECT_EQ(c.printed()[0].y, 10);
    EXPECT_EQ(c.printed()[1].x, 0);
    EXPECT_EQ(c.printed()[1].y, 26);
    c.clear();
    EXPECT_EQ(c.image().at(10, 10), rgb(9, 9, 9));
    EXPECT_TRUE(c.printed().empty());
}

TEST(Canvas, DottedAndWideLines) {
    Canvas c(20, 20);
    c.line(0, 10, 19, 10, rgb(1, 1, 1), 1, true);
    EXPECT_EQ(c.image().at(0, 10), rgb(1, 1, 1));
    EXPECT_EQ(c.image().at(2, 10), rgb(0, 0, 0));  // a gap of the dots
    c.line(5, 0, 5, 19, rgb(2, 2, 2), 3);
    EXPECT_EQ(c.image().at(4, 3), rgb(2, 2, 2));
    EXPECT_EQ(c.image().at(6, 3), rgb(2, 2, 2));
    EXPECT_EQ(c.image().at(7, 3), rgb(0, 0, 0));
}

}  // namespace
}  // namespace halvex
