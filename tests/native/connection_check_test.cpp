#include <gtest/gtest.h>

#include "fakes.h"
#include "simlink/bitwise_ops.h"
#include "simlink/ipc_protocol.h"
#include "simlink/link_texts.h"

namespace verlisk {
namespace {

using testing::ProcessEnded;
using Bytes = std::vector<std::uint8_t>;

struct ShiftCase {
    std::int32_t value, bits;
    bool left;
    std::int32_t expected;  // or the error number when it throws
    bool throws = false;
};

TEST(Shift, ResultsAndErrors) {
    for (const auto& c : {
             ShiftCase{-1, 4, false, 0}, ShiftCase{1, 4, true, 16},
             ShiftCase{-17, 4, false, -1},                                    // toward zero, not -2
             ShiftCase{INT32_MIN, 28, false, -8}, ShiftCase{5, -1, true, 2},  // 2.5 to even
             ShiftCase{-1, 31, true, INT32_MIN},                              // just fits
             ShiftCase{INT32_MAX, 0, true, INT32_MAX},                        // just fits
             ShiftCase{0x40000000, 2, true, 6, true},                         // overflow
             ShiftCase{1, 31, false, 6, true},   // 2^31 does not fit the divisor
             ShiftCase{7, -1, false, 11, true},  // 2^-1 rounds to a zero divisor
         }) {
        if (!c.throws) {
            EXPECT_EQ(Shift(c.value, c.bits, c.left), c.expected) << c.value << " " << c.bits;
            continue;
        }
        try {
            Shift(c.value, c.bits, c.left);
            ADD_FAILURE() << c.value << " " << c.bits;
        } catch (const ShiftError& e) {
            EXPECT_STREQ(e.source, "Shift");
            EXPECT_EQ(e.number, c.expected) << c.value << " " << c.bits;
        }
    }
}

// The table's ends and a gap past each: the texts between are data, not logic.
TEST(LinkTexts, ResultCodesAndSimulators) {
    EXPECT_EQ(IpcErrorText(0), "FSUIPC OK");
    EXPECT_EQ(IpcErrorText(15),
              "Read or Write request cannot be added, memory for Process is full");
    EXPECT_EQ(IpcErrorText(16), "");
    EXPECT_EQ(IpcErrorText(-1), "");
    EXPECT_EQ(SimNames(0), "Any");
    EXPECT_EQ(SimNames(6), "FS2002");
    EXPECT_EQ(SimNames(8), "FSYETANOTHER");
    EXPECT_EQ(SimNames(9), "");
    EXPECT_EQ(SimNames(-1), "");
}

TEST(VersionText, StatusBarAndGateForms) {
    struct Case {
        std::int32_t word;
        const char* bar;
        const char* gate;
    };
    for (const auto& c : {Case{0x19980005, "1.998e", " 1.9"}, Case{0x34000000, "3.400", " 3.4"},
                          Case{0x34990000, "3.499", " 3.4"}, Case{0x33000000, "3.300", " 3.3"},
                          Case{0x34560002, "3.456b", " 3.4"}, Case{0x34000001, "3.400a", " 3.4"},
                          Case{0x4012001A, "4.012z", " 4"}, Case{0x4012001B, "4.012(27)", " 4"},
                          Case{0, "0.000", " 0"}}) {
        EXPECT_EQ(VersionWordText(c.word), c.bar);
        EXPECT_EQ(GateVersionText(c.word), c.gate);
    }
    EXPECT_EQ(GateVersionValue(" 3.4"), 3.4);
}

using ConnectionCheck = testing::FrmFixture;

TEST_F(ConnectionCheck, NoModuleIsAStatusNotAComplaint) {
    module.windowClass = "";
    frm.Timer_Radar_Timer();
    EXPECT_FALSE(frm.LinkOpen);
    EXPECT_EQ(frm.myFSUIPCStatus, "Cannot link to FSUIPC or WideClient");
    EXPECT_EQ(frm.FsuipcVersionText, "");
    EXPECT_TRUE(view.boxes.empty());
    EXPECT_EQ(Log(), "");
    // The tick closed what it opened, and released nothing it did not hold.
    EXPECT_EQ(module.liveAtoms + module.liveMappings + module.liveViews, 0);
    EXPECT_EQ(module.strayReleases, 0);
}

TEST_F(ConnectionCheck, OldModuleIsRefusedAndTheProgramEndsTidily) {
    module.aircraft.Poke32(ipc::offset::kVersion, 0x33300000);
    int nested = 0;
    view.onBox = [&] {  // ticks while the refusal is shown must not stack another
        for (; nested < 3; ++nested) frm.Timer_Radar_Timer();
    };
    EXPECT_THROW(frm.Timer_Radar_Timer(), ProcessEnded);
    EXPECT_EQ(
        Log(),
        "12/4/2026 7:35:12 PM: FSUIPC Version: ### THIS VERSION IS NOT SUPPORTED ### 3.3\r\n");
    EXPECT_EQ(view.boxes, std::vector<testing::Box>({{"FSUIPC Version:  3.3  Oops! Now requires "
                                                      "FSUIPC Version 3.4 or better.  Update your "
                                                      "version of FSUIPC and restart",
                                                      "", MsgButtons::Ok, MsgIcon::None, false}}));
    // The module was told an empty text while the link was open, then the link closed.
    EXPECT_EQ(module.aircraft.Messages(), (std::vector<std::string>{"text:", "display:10"}));
    EXPECT_EQ(module.sendsThatArrived, 3);
    EXPECT_EQ(module.liveViews, 0);
    const std::vector<std::string> tail(view.events.end() - 4, view.events.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"box", "timer 2 off", "timer 1 off", "unload"}));
}

TEST_F(ConnectionCheck, LinkFoundOpenCountsAsConnected) {
    std::int32_t code;
    frm.Radar();  // a sample on the closed link ends at once and holds up no later one
    EXPECT_FALSE(frm.SampleTaken);
    frm.FSUIPCConnect();
    ASSERT_TRUE(frm.LinkOpen);
    EXPECT_FALSE(link.IpcOpen(0, code));
    EXPECT_EQ(code, ipc::kAlreadyOpen);
    EXPECT_EQ(link.IpcVersion + link.IpcSimVersion, 0);  // cleared by the refused open
    frm.FSUIPCConnect();  // found open: the gate judges the last good open's version
    EXPECT_TRUE(frm.LinkOpen);
    EXPECT_EQ(frm.myFSUIPCStatus, "Attempt to Open when already Open");
    EXPECT_TRUE(view.boxes.empty());
    frm.Radar();  // the same link answers
    EXPECT_TRUE(frm.SampleTaken);
}

// The text and the display control, each in its own round trip.
TEST_F(ConnectionCheck, SimMessageSendsTheTextThenTheDisplay) {
    std::int32_t code;
    ASSERT_TRUE(link.IpcOpen(0, code));
    const int before = module.sends;
    frm.SimMessage("Hi");
    EXPECT_EQ(module.aircraft.Messages(), (std::vector<std::string>{"text:Hi", "display:10"}));
    EXPECT_EQ(module.sends - before, 2);
    for (const auto& [at, bytes] : module.aircraft.writes) {  // the text and its terminator
        if (at == ipc::offset::kMessageText) {
            EXPECT_EQ(bytes, (Bytes{'H', 'i', 0}));
        }
    }
}

TEST_F(ConnectionCheck, TidyExitWithTheLinkClosedStillCompletes) {
    EXPECT_THROW(frm.TidyExit(), ProcessEnded);
    EXPECT_EQ(module.sends, 0);
    EXPECT_FALSE(frm.SimMessageBusy);
    EXPECT_TRUE(view.unloaded);
}

}  // namespace
}  // namespace verlisk
