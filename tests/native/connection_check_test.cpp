#include "simlink/connection_check.h"

#include <gtest/gtest.h>

#include "frm_fixture.h"
#include "simlink/bitwise_ops.h"

namespace verlisk {
namespace {

using testing::ProcessEnded;

struct ShiftCase {
    std::int32_t value, bits;
    bool left;
    std::int32_t expected;
};

class ShiftCases : public ::testing::TestWithParam<ShiftCase> {};

TEST_P(ShiftCases, Result) {
    const auto& c = GetParam();
    EXPECT_EQ(Shift(c.value, c.bits, c.left), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ShiftCases,
    ::testing::Values(ShiftCase{-1, 4, false, 0}, ShiftCase{1, 4, true, 16},
                      ShiftCase{-17, 4, false, -1},  // toward zero, not -2
                      ShiftCase{0x34000000, 28, false, 3}, ShiftCase{0x34000000, 24, false, 0x34},
                      ShiftCase{INT32_MIN, 28, false, -8}, ShiftCase{1, 30, true, 1 << 30},
                      ShiftCase{-1, 31, true, INT32_MIN}, ShiftCase{5, 0, false, 5},
                      ShiftCase{3, -1, true, 2},    // 1.5 rounds to even
                      ShiftCase{5, -1, true, 2}));  // 2.5 rounds to even

TEST(Shift, OverflowsCarryTheirSource) {
    for (auto [value, bits, left] : {std::tuple{1, 31, true}, std::tuple{1, 31, false},
                                     std::tuple{0x40000000, 2, true}, std::tuple{7, -1, false}}) {
        try {
            Shift(value, bits, left);
            ADD_FAILURE() << value << " " << bits;
        } catch (const ShiftError& e) {
            EXPECT_STREQ(e.source, "Shift");
            EXPECT_TRUE(e.number == 6 || e.number == 11);
        }
    }
}

TEST(VersionText, DigitsAndBuildLetter) {
    EXPECT_EQ(VersionWordText(0x19980005), "1.998e");
    EXPECT_EQ(VersionWordText(0x34000000), "3.400");
    EXPECT_EQ(VersionWordText(0x34560002), "3.456b");
    EXPECT_EQ(VersionWordText(0x4012001A), "4.012z");
    EXPECT_EQ(VersionWordText(0x4012001B), "4.012(27)");
    EXPECT_EQ(VersionWordText(0), "0.000");
    EXPECT_EQ(GateVersionText(0x34000000), " 3.4");
    EXPECT_EQ(GateVersionText(0x34990000), " 3.4");
    EXPECT_EQ(GateVersionText(0x33000000), " 3.3");
    EXPECT_EQ(GateVersionText(0x40000000), " 4");
    EXPECT_EQ(GateVersionValue(" 3.4"), 3.4);
}

struct ConnectCase {
    const char* name;
    std::function<void(testing::FakeModule&)> arrange;
    bool linkOpen;
    const char* status;
    const char* versionText;
};

class Connect : public testing::FrmFixture, public ::testing::WithParamInterface<ConnectCase> {};

TEST_P(Connect, StatusWithoutComplaint) {
    GetParam().arrange(module);
    frm.FSUIPCConnect();
    EXPECT_EQ(frm.LinkOpen, GetParam().linkOpen);
    EXPECT_EQ(frm.myFSUIPCStatus, GetParam().status);
    EXPECT_EQ(frm.FsuipcVersionText, GetParam().versionText);
    EXPECT_TRUE(view.boxes.empty());
    EXPECT_EQ(Log(), "");
    EXPECT_TRUE(frm.IpcInitDone);
}

INSTANTIATE_TEST_SUITE_P(
    Modules, Connect,
    ::testing::Values(
        ConnectCase{"V340", [](auto&) {}, true, "FSUIPC OK", " 3.4"},
        ConnectCase{"V7", [](auto& m) { m.Put32At(0x3304, 0x70010000); }, true, "FSUIPC OK", " 7"},
        ConnectCase{"None", [](auto& m) { m.windowClass = ""; }, false,
                    "Cannot link to FSUIPC or WideClient", ""},
        ConnectCase{"WideClientAlone",
                    [](auto& m) {
                        m.windowClass = "FS98MAIN";
                        m.answerZeros = true;
                    },
                    false,
                    "Maybe running on WideClient, but FS not running on Server, or wrong FSUIPC",
                    ""}),
    [](const auto& i) { return i.param.name; });

using ConnectionCheck = testing::FrmFixture;

TEST_F(ConnectionCheck, OldModuleIsRefusedAndTheProgramEndsTidily) {
    module.Put32At(0x3304, 0x33300000);
    EXPECT_THROW(frm.Timer_Radar_Timer(), ProcessEnded);
    EXPECT_EQ(
        Log(),
        "12/4/2026 7:35:12 PM: FSUIPC Version: ### THIS VERSION IS NOT SUPPORTED ### 3.3\r\n");
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text,
              "FSUIPC Version:  3.3  Oops! Now requires FSUIPC Version 3.4 or better.  Update "
              "your version of FSUIPC and restart");
    EXPECT_EQ(view.boxes[0].title, "");
    EXPECT_EQ(view.boxes[0].icon, MsgIcon::None);
    EXPECT_EQ(view.boxes[0].buttons, MsgButtons::Ok);
    // The module was told an empty text while the link was open, then the link closed.
    ASSERT_GE(module.writes.size(), 3u);
    const auto n = module.writes.size();
    EXPECT_EQ(module.writes[n - 2].first, 0x3380u);
    EXPECT_EQ(module.writes[n - 2].second, std::vector<std::uint8_t>{0});
    EXPECT_EQ(module.writes[n - 1].first, 0x32FAu);
    EXPECT_EQ(module.writes[n - 1].second, (std::vector<std::uint8_t>{10, 0}));
    EXPECT_EQ(module.liveViews, 0);
    EXPECT_FALSE(view.timers[Timer::Timer_Radar]);
    EXPECT_FALSE(view.timers[Timer::Timer_PhaseControl]);
    EXPECT_TRUE(view.unloaded);
    const std::vector<std::string> tail(view.events.end() - 4, view.events.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"box", "timer off", "timer off", "unload"}));
}

TEST_F(ConnectionCheck, TicksWhileTheRefusalIsShownDoNotStackAnother) {
    module.Put32At(0x3304, 0x33300000);
    int nested = 0;
    view.onBox = [&] {
        for (; nested < 3; ++nested) frm.Timer_Radar_Timer();
    };
    EXPECT_THROW(frm.Timer_Radar_Timer(), ProcessEnded);
    EXPECT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(module.sendsThatArrived, 3);  // handshake, then the text and its display value
}

TEST_F(ConnectionCheck, RadarTickNeverLeavesTheLinkOpen) {
    frm.Timer_Radar_Timer();
    EXPECT_TRUE(frm.LinkOpen);
    EXPECT_EQ(module.liveViews, 0);
    EXPECT_EQ(module.liveAtoms, 0);
    module.windowClass = "";
    frm.Timer_Radar_Timer();
    EXPECT_FALSE(frm.LinkOpen);
    EXPECT_EQ(frm.FSUIPCVersionString(), "0.000");  // cleared by the failed attempt
}

TEST_F(ConnectionCheck, LinkFoundOpenCountsAsConnected) {
    std::int32_t code;
    frm.FSUIPCConnect();
    ASSERT_TRUE(frm.LinkOpen);
    EXPECT_FALSE(link.IpcOpen(0, code));
    frm.FSUIPCConnect();  // found open: the gate judges the last good open's version
    EXPECT_TRUE(frm.LinkOpen);
    EXPECT_EQ(frm.myFSUIPCStatus, "Attempt to Open when already Open");
    EXPECT_TRUE(view.boxes.empty());
}

using SimMessageTest = testing::FrmFixture;

TEST_F(SimMessageTest, TextThenDisplayValueEachInItsOwnRoundTrip) {
    std::int32_t code;
    ASSERT_TRUE(link.IpcOpen(0, code));
    module.writes.clear();
    const int before = module.sendsThatArrived;
    frm.SimMessage("Hi");
    EXPECT_EQ(module.sendsThatArrived - before, 2);
    ASSERT_EQ(module.writes.size(), 2u);
    EXPECT_EQ(module.writes[0].second, (std::vector<std::uint8_t>{'H', 'i', 0}));
    EXPECT_EQ(module.writes[1].second, (std::vector<std::uint8_t>{10, 0}));
    EXPECT_FALSE(frm.SimMessageBusy);
}

TEST_F(SimMessageTest, BusyOrClosedSendsNothing) {
    frm.SimMessage("");
    EXPECT_EQ(module.sends, 0);
    EXPECT_FALSE(frm.SimMessageBusy);
    std::int32_t code;
    ASSERT_TRUE(link.IpcOpen(0, code));
    const int before = module.sends;
    frm.SimMessageBusy = true;
    frm.SimMessage("x");
    EXPECT_EQ(module.sends, before);
    EXPECT_EQ(link.IpcNext, link.IpcView);
}

TEST_F(SimMessageTest, FailedTextStepStillSendsTheDisplayValue) {
    std::int32_t code;
    ASSERT_TRUE(link.IpcOpen(0, code));
    module.writes.clear();
    module.replyValue = 0;
    frm.SimMessage("x");
    EXPECT_EQ(module.sendsThatArrived, 3);
    EXPECT_FALSE(frm.SimMessageBusy);
}

TEST_F(SimMessageTest, TidyExitWithTheLinkClosedStillCompletes) {
    EXPECT_THROW(frm.TidyExit(), ProcessEnded);
    EXPECT_EQ(module.sends, 0);
    EXPECT_TRUE(view.unloaded);
}

}  // namespace
}  // namespace verlisk
