#include "app/layout/layout.h"

#include <gtest/gtest.h>

namespace verlisk::layout {
namespace {

TEST(Layout, DesignSizeAt96Dpi) {
    EXPECT_EQ(TwipsToPixels(kClientWidthTwips, 96), 395);
    EXPECT_EQ(TwipsToPixels(kClientHeightTwips, 96), 211);
    EXPECT_EQ(TwipsToPixels(Find(Control::StatusBar1).top, 96), 192);
    EXPECT_EQ(TwipsToPixels(Find(Control::StatusBar1).height, 96), 19);
}

TEST(Layout, ScalesWithDpi) {
    EXPECT_EQ(TwipsToPixels(kClientWidthTwips, 144), 593);  // 592.5 rounds up
    EXPECT_EQ(TwipsToPixels(kClientWidthTwips, 192), 790);
    EXPECT_EQ(TwipsToPixels(15, 120), 1);  // 1.25
    EXPECT_EQ(TwipsToPixels(-15, 96), -1);
}

}  // namespace
}  // namespace verlisk::layout
