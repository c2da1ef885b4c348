#include "app/layout/layout.h"

#include <gtest/gtest.h>

namespace verlisk::layout {
namespace {

TEST(Layout, InitialStatesAsDesigned) {
    for (const auto& c : Controls()) {
        // STOP starts greyed, everything else enabled.
        EXPECT_EQ(c.enabled, c.id != Control::cmdStop) << c.name;
        // Label1 lies wholly below the client area; everything else inside it.
        const bool inside = c.left >= 0 && c.top >= 0 && c.left + c.width <= kClientWidthTwips &&
                            c.top + c.height <= kClientHeightTwips;
        EXPECT_EQ(inside, c.id != Control::Label1) << c.name;
    }
    EXPECT_GE(Find(Control::Label1).top, kClientHeightTwips);
    EXPECT_EQ(kTimerIntervalMs, 500);
    EXPECT_EQ(FocusOrder().front(), Control::cmdStart);
    EXPECT_EQ(Panels()[0].text, std::string("FSUIPC WAIT"));
    EXPECT_EQ(Panels()[1].text, std::string("STATUS WAIT"));
}

}  // namespace
}  // namespace verlisk::layout
