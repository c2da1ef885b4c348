#include "app/layout/layout.h"

#include <gtest/gtest.h>

#include <set>

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

TEST(Layout, EveryControlOnceAndInsideOrBelowTheClientArea) {
    std::set<Control> ids;
    for (const auto& c : Controls()) {
        EXPECT_TRUE(ids.insert(c.id).second) << c.name;
        EXPECT_LE(c.left + c.width, kClientWidthTwips) << c.name;
        if (c.id != Control::Label1) {
            EXPECT_LE(c.top + c.height, kClientHeightTwips) << c.name;
        }
    }
    EXPECT_EQ(ids.size(), 16u);
    EXPECT_GE(Find(Control::Label1).top, kClientHeightTwips);  // never seen
}

TEST(Layout, FocusOrderFollowsTabIndex) {
    int last = -1;
    for (Control c : FocusOrder()) {
        EXPECT_GT(Find(c).tabIndex, last);
        last = Find(c).tabIndex;
    }
    EXPECT_EQ(FocusOrder().front(), Control::cmdStart);
}

}  // namespace
}  // namespace verlisk::layout
