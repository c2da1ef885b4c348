#include "simlink/fsuipc.h"

#include <gtest/gtest.h>

#include <cstring>

#include "fake_module.h"
#include "simlink/ipc_area.h"

namespace verlisk {
namespace {

using testing::FakeModule;

struct LinkTest : ::testing::Test {
    FakeModule module;
    FsuipcLink link{module};
    std::int32_t code = -1;
    const std::int32_t anySim = 0;

    bool Open() { return link.IpcOpen(anySim, code); }
    void ExpectNothingHeld() {
        EXPECT_EQ(module.liveAtoms, 0);
        EXPECT_EQ(module.liveMappings, 0);
        EXPECT_EQ(module.liveViews, 0);
        EXPECT_EQ(link.IpcView, nullptr);
        EXPECT_EQ(link.IpcAtom, 0);
        EXPECT_EQ(link.IpcMapping, 0u);
    }
};

TEST_F(LinkTest, GoodOpenHandshakesOnceAndHoldsTheArea) {
    ASSERT_TRUE(Open());
    EXPECT_EQ(code, 0);
    EXPECT_EQ(link.IpcVersion, 0x34000000);
    EXPECT_EQ(link.IpcSimVersion, 7);  // check pattern cleared
    EXPECT_EQ(module.sendsThatArrived, 1);
    EXPECT_EQ(module.sleeps, std::vector<std::uint32_t>{100});
    EXPECT_EQ(module.lastAreaName, "FSASMLIB:IPC:1A2B:1");
    EXPECT_EQ(link.IpcAtom, static_cast<std::int16_t>(0xC123));  // sign-extended
    EXPECT_LT(link.IpcAtom, 0);
    EXPECT_EQ(module.lastWParam, 0xC123u);  // the low 16 bits go to the module
    ASSERT_EQ(module.writes.size(), 1u);
    EXPECT_EQ(module.writes[0].first, 0x330Au);
    EXPECT_EQ(module.writes[0].second, (std::vector<std::uint8_t>{0, 0}));
    EXPECT_EQ(link.IpcNext, link.IpcView);
    link.IpcClose();
    ExpectNothingHeld();
    EXPECT_EQ(link.IpcVersion, 0x34000000);  // kept for the status bar
    link.IpcClose();
    ExpectNothingHeld();
}

TEST(AreaName, LongestProcessIdFillsTheBuffer) {
    EXPECT_EQ(FsuipcLink::AreaName(0xFFFFFFFF, 1), "FSASMLIB:IPC:FFFFFFFF:1");
    EXPECT_EQ(FsuipcLink::AreaName(0x10, 1), "FSASMLIB:IPC:10:1");
}

struct OpenFailure {
    const char* name;
    std::function<void(FakeModule&)> arrange;
    std::int32_t code;
    int sleepsExpected;
};

class OpenFailures : public LinkTest, public ::testing::WithParamInterface<OpenFailure> {};

TEST_P(OpenFailures, CodeAndNothingLeftHeld) {
    GetParam().arrange(module);
    EXPECT_FALSE(Open());
    EXPECT_EQ(code, GetParam().code);
    ExpectNothingHeld();
    EXPECT_EQ(static_cast<int>(module.sleeps.size()), GetParam().sleepsExpected);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, OpenFailures,
    ::testing::Values(
        OpenFailure{"NoModule", [](FakeModule& m) { m.windowClass = ""; }, 2, 0},
        OpenFailure{"Register", [](FakeModule& m) { m.registerFails = true; }, 3, 0},
        OpenFailure{"Atom", [](FakeModule& m) { m.atomFails = true; }, 4, 0},
        OpenFailure{"Mapping", [](FakeModule& m) { m.mappingFails = true; }, 5, 0},
        OpenFailure{"MappingExisted", [](FakeModule& m) { m.mappingExists = true; }, 5, 0},
        OpenFailure{"View", [](FakeModule& m) { m.viewFails = true; }, 6, 0},
        OpenFailure{"OldVersion", [](FakeModule& m) { m.Put32At(0x3304, 0x19980004); }, 7, 1},
        OpenFailure{"TopBitSet", [](FakeModule& m) { m.Put32At(0x3304, 0x80000000); }, 7, 1},
        OpenFailure{"NoPattern", [](FakeModule& m) { m.Put32At(0x3308, 0xFADF0007); }, 7, 1},
        OpenFailure{"WideClientNoPattern",
                    [](FakeModule& m) {
                        m.windowClass = "FS98MAIN";
                        m.Put32At(0x3308, 0x00000007);
                    },
                    14, 1},
        OpenFailure{"WideClientZeros",
                    [](FakeModule& m) {
                        m.windowClass = "FS98MAIN";
                        m.answerZeros = true;
                    },
                    14, 5},
        // every send of the first round trip fails: 10 pauses between 11 sends
        OpenFailure{"Hang", [](FakeModule& m) { m.failingSends = 99; }, 11, 10},
        OpenFailure{"SendError",
                    [](FakeModule& m) {
                        m.failingSends = 99;
                        m.sendError = 1400;
                    },
                    12, 10},
        OpenFailure{"ReplyZero", [](FakeModule& m) { m.replyValue = 0; }, 13, 0}),
    [](const auto& i) { return i.param.name; });

TEST_F(LinkTest, VersionBoundaryAndRequestedSimulator) {
    module.Put32At(0x3304, 0x19980005);
    EXPECT_TRUE(Open());
    link.IpcClose();
    const std::int32_t fs2002 = 6, fsnext = 7;
    EXPECT_FALSE(link.IpcOpen(fs2002, code));
    EXPECT_EQ(code, 8);
    ExpectNothingHeld();
    EXPECT_TRUE(link.IpcOpen(fsnext, code));
    EXPECT_EQ(code, 0);
}

TEST_F(LinkTest, WideClientWithSimulatorOpens) {
    module.windowClass = "FS98MAIN";
    EXPECT_TRUE(Open());
    EXPECT_TRUE(link.IpcViaWideClient);
}

TEST_F(LinkTest, OpenWhileOpenLeavesTheLinkAlone) {
    ASSERT_TRUE(Open());
    auto* view = link.IpcView;
    EXPECT_FALSE(Open());
    EXPECT_EQ(code, 1);
    EXPECT_EQ(link.IpcView, view);
    EXPECT_EQ(link.IpcVersion, 0);
    EXPECT_EQ(link.IpcSimVersion, 0);
    EXPECT_EQ(module.liveViews, 1);
}

TEST_F(LinkTest, ClosedLinkRefusesEverything) {
    int v = 5;
    EXPECT_FALSE(link.IpcRead(0x3304, 4, &v, code));
    EXPECT_EQ(code, 9);
    EXPECT_FALSE(link.IpcWrite(0x330A, 2, &v, code));
    EXPECT_EQ(code, 9);
    EXPECT_FALSE(link.IpcWriteString(0x3380, 1, "", code));
    EXPECT_EQ(code, 9);
    EXPECT_FALSE(link.IpcProcess(code));
    EXPECT_EQ(code, 9);
    EXPECT_EQ(module.sends, 0);
}

TEST_F(LinkTest, EmptyBatchSendsNothing) {
    ASSERT_TRUE(Open());
    const int before = module.sends;
    EXPECT_FALSE(link.IpcProcess(code));
    EXPECT_EQ(code, 10);
    EXPECT_EQ(module.sends, before);
}

TEST_F(LinkTest, CapacityEdge) {
    ASSERT_TRUE(Open());
    // used 0 + 4 + 16 + data = 32512 exactly
    std::vector<std::uint8_t> big(ipc::kCapacity - 4 - 16);
    EXPECT_TRUE(link.IpcRead(0x4000, static_cast<std::int32_t>(big.size()), big.data(), code));
    EXPECT_EQ(code, 0);
    auto* next = link.IpcNext;
    int one = 0;
    EXPECT_FALSE(link.IpcRead(0x3304, 0, &one, code));  // 16 more bytes do not fit
    EXPECT_EQ(code, 15);
    EXPECT_EQ(link.IpcNext, next);
    EXPECT_TRUE(link.IpcProcess(code));
    // A fresh batch: a write that is one byte too large is refused, batch unchanged.
    std::vector<std::uint8_t> src(ipc::kCapacity - 4 - 12 + 1);
    EXPECT_FALSE(link.IpcWrite(0x4000, static_cast<std::int32_t>(src.size()), src.data(), code));
    EXPECT_EQ(code, 15);
    EXPECT_EQ(link.IpcNext, link.IpcView);
    EXPECT_TRUE(link.IpcWrite(0x4000, static_cast<std::int32_t>(src.size() - 1), src.data(), code));
}

TEST_F(LinkTest, ReadsCopyBackAndSizeOrDestinationZeroCopyNothing) {
    ASSERT_TRUE(Open());
    module.Put32At(0x0564, 0x12345678);
    std::int32_t lat = 0, untouched = 77;
    EXPECT_TRUE(link.IpcRead(0x0564, 4, &lat, code));
    EXPECT_TRUE(link.IpcRead(0x0564, 0, &untouched, code));
    EXPECT_TRUE(link.IpcRead(0x0564, 4, nullptr, code));
    EXPECT_EQ(lat, 0);  // nothing arrives before the round trip
    EXPECT_TRUE(link.IpcProcess(code));
    EXPECT_EQ(code, 0);
    EXPECT_EQ(lat, 0x12345678);
    EXPECT_EQ(untouched, 77);
}

TEST_F(LinkTest, EleventhSendSucceeds) {
    ASSERT_TRUE(Open());
    module.sends = 0;
    module.sleeps.clear();
    module.failingSends = 10;
    std::int32_t v = 0;
    link.IpcRead(0x3304, 4, &v, code);
    EXPECT_TRUE(link.IpcProcess(code));
    EXPECT_EQ(module.sends, 11);
    EXPECT_EQ(module.sleeps.size(), 10u);
    EXPECT_EQ(v, 0x34000000);
}

struct BadReply {
    const char* name;
    std::function<void(FakeModule&)> arrange;
    std::int32_t code;
};

class BadReplies : public LinkTest, public ::testing::WithParamInterface<BadReply> {};

TEST_P(BadReplies, DestinationsKeepOldContentsAndTheNextBatchStartsAtTheTop) {
    ASSERT_TRUE(Open());
    GetParam().arrange(module);
    std::int32_t v = -5;
    ASSERT_TRUE(link.IpcRead(0x3304, 4, &v, code));
    EXPECT_FALSE(link.IpcProcess(code));
    EXPECT_EQ(code, GetParam().code);
    EXPECT_EQ(v, -5);
    EXPECT_EQ(link.IpcNext, link.IpcView);
    EXPECT_NE(link.IpcView, nullptr);  // the link stays open
}

INSTANTIATE_TEST_SUITE_P(
    Codes, BadReplies,
    ::testing::Values(
        BadReply{"ReplyZero", [](FakeModule& m) { m.replyValue = 0; }, 13},
        BadReply{"ReplyTwo", [](FakeModule& m) { m.replyValue = 2; }, 13},
        BadReply{"Timeout", [](FakeModule& m) { m.failingSends = 1000; }, 11},
        BadReply{"TimeoutReportedAsError",
                 [](FakeModule& m) {
                     m.failingSends = 1000;
                     m.sendError = 1460;
                 },
                 11},
        BadReply{"SendFailed",
                 [](FakeModule& m) {
                     m.failingSends = 1000;
                     m.sendError = 5;
                 },
                 12},
        BadReply{"BadKind", [](FakeModule& m) { m.tamper = [](auto* a) { a[0] = 3; }; }, 13},
        BadReply{"SizePastTheArea",
                 [](FakeModule& m) { m.tamper = [](auto* a) { ipc::Put32(a + 8, 40000); }; }, 13},
        BadReply{"SizeLargerThanQueued",
                 [](FakeModule& m) { m.tamper = [](auto* a) { ipc::Put32(a + 8, 5); }; }, 13},
        BadReply{"ForeignDestination",
                 [](FakeModule& m) { m.tamper = [](auto* a) { ipc::Put32(a + 12, 2); }; }, 13},
        BadReply{"NoTerminator",
                 [](FakeModule& m) {
                     m.tamper = [](auto* a) {
                         ipc::Put32(a + 8, 0);  // the read copies nothing, then writes run
                         for (std::size_t p = 16; p + 12 <= ipc::kAreaSize; p += 12) {
                             ipc::Put32(a + p, 2);
                             ipc::Put32(a + p + 8, 0);
                         }
                         ipc::Put32(a + ipc::kAreaSize - 4, 2);  // a header cut off by the end
                     };
                 },
                 13}),
    [](const auto& i) { return i.param.name; });

TEST_F(LinkTest, ReadsBeforeABadRecordKeepTheirData) {
    ASSERT_TRUE(Open());
    std::int32_t a = 0, b = -1;
    link.IpcRead(0x3304, 4, &a, code);
    link.IpcRead(0x3308, 4, &b, code);
    module.tamper = [](std::uint8_t* area) { area[20] = 9; };  // second record's kind
    EXPECT_FALSE(link.IpcProcess(code));
    EXPECT_EQ(code, 13);
    EXPECT_EQ(a, 0x34000000);
    EXPECT_EQ(b, -1);
}

TEST_F(LinkTest, WriteStringCarriesTheTerminator) {
    ASSERT_TRUE(Open());
    module.writes.clear();
    EXPECT_TRUE(link.IpcWriteString(0x3380, 1, "", code));
    EXPECT_TRUE(link.IpcWriteString(0x3380, 4, "abc", code));
    EXPECT_TRUE(link.IpcWriteString(0x3380, 2, "abc", code));
    EXPECT_TRUE(link.IpcProcess(code));
    ASSERT_EQ(module.writes.size(), 3u);
    EXPECT_EQ(module.writes[0].second, std::vector<std::uint8_t>{0});
    EXPECT_EQ(module.writes[1].second, (std::vector<std::uint8_t>{'a', 'b', 'c', 0}));
    EXPECT_EQ(module.writes[2].second, (std::vector<std::uint8_t>{'a', 'b'}));
}

TEST_F(LinkTest, ManyOpenCloseCyclesHoldNothing) {
    for (int i = 0; i < 300; ++i) {
        ASSERT_TRUE(Open());
        link.IpcClose();
    }
    ExpectNothingHeld();
}

}  // namespace
}  // namespace verlisk
