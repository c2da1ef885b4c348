#include "simlink/fsuipc.h"

#include <gtest/gtest.h>

#include <utility>

#include "fake_module.h"
#include "simlink/ipc_protocol.h"

namespace verlisk {
namespace {

using namespace ipc;
using testing::FakeModule;
using Bytes = std::vector<std::uint8_t>;

struct LinkTest : ::testing::Test {
    FakeModule module;
    FsuipcLink link{module};
    std::int32_t code = -1;

    bool Open(std::int32_t sim = 0) { return link.IpcOpen(sim, code); }
    void ExpectNothingHeld() {
        EXPECT_EQ(module.liveAtoms + module.liveMappings + module.liveViews, 0);
        EXPECT_EQ(module.strayReleases, 0);
    }
    // A one-read round trip into v; true when it came back.
    bool ReadInto(std::int32_t& v, std::int32_t at = offset::kVersion) {
        if (!link.IpcRead(at, 4, &v, code)) return false;
        code = -1;  // so that the round trip's own result shows
        return link.IpcProcess(code);
    }
};

TEST_F(LinkTest, GoodOpenHandshakesOnceThenCloseReleasesEverything) {
    ASSERT_TRUE(Open());
    EXPECT_EQ(code, kOk);
    EXPECT_EQ(link.IpcVersion, 0x34000000);
    EXPECT_EQ(link.IpcSimVersion, 7);  // the check pattern cleared
    EXPECT_EQ(module.sendsThatArrived, 1);
    EXPECT_EQ(module.lastAreaName, "FSASMLIB:IPC:1A2B:1");
    EXPECT_EQ(link.IpcAtom, static_cast<std::int16_t>(0xC123));  // stored sign-extended
    EXPECT_EQ(module.lastWParam, 0xC123u);                       // handed back as 16 bits
    ASSERT_EQ(module.aircraft.writes.size(), 1u);
    EXPECT_EQ(module.aircraft.writes[0], std::make_pair(0x330Au, Bytes{0, 0}));
    EXPECT_EQ(Get32(&module.area[8]) + Get32(&module.area[28]), 8u);  // two 4-byte reads
    link.IpcClose();
    ExpectNothingHeld();
    EXPECT_EQ(link.IpcVersion, 0x34000000);  // kept for the status bar
    link.IpcClose();
    ExpectNothingHeld();
}

// Zeroes the n-th 4-byte read of the reply (from 0) on the module's first answer only.
std::function<void(std::uint8_t*)> BlankOnFirstAnswer(FakeModule& m, int n) {
    return [&m, n](std::uint8_t* a) {
        if (m.sendsThatArrived == 1) Put32(a + 16 + 20 * n, 0);
    };
}

struct OpenCase {
    const char* name;
    std::function<void(FakeModule&)> arrange;
    Result code;
    std::size_t pauses;
    std::int32_t requestedSim = 0;
};

class Opens : public LinkTest, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(Opens, CodePausesAndNothingLeftHeld) {
    GetParam().arrange(module);
    EXPECT_EQ(Open(GetParam().requestedSim), GetParam().code == kOk);
    EXPECT_EQ(code, GetParam().code);
    EXPECT_EQ(module.sleeps, std::vector<std::uint32_t>(GetParam().pauses, 100));
    if (GetParam().code != kOk) ExpectNothingHeld();  // a failed open lets go at once
    link.IpcClose();
    ExpectNothingHeld();
}

void Version(FakeModule& m, std::uint32_t w) { m.aircraft.Poke32(offset::kVersion, w); }
void Pattern(FakeModule& m, std::uint32_t w) { m.aircraft.Poke32(offset::kSimVersion, w); }
// The first `failing` sends fail, GetLastError then giving `error`.
std::function<void(FakeModule&)> Sends(int failing, std::uint32_t error = 0) {
    return [=](FakeModule& m) {
        m.failingSends = failing;
        m.sendError = error;
    };
}

INSTANTIATE_TEST_SUITE_P(
    Codes, Opens,
    ::testing::Values(
        OpenCase{"OldestAccepted", [](FakeModule& m) { Version(m, 0x19980005); }, kOk, 1},
        OpenCase{"VersionOnSecondPass", [](FakeModule& m) { m.tamper = BlankOnFirstAnswer(m, 0); },
                 kOk, 2},
        OpenCase{"SimOnSecondPass", [](FakeModule& m) { m.tamper = BlankOnFirstAnswer(m, 1); }, kOk,
                 2},
        OpenCase{"RequestedSimDiffers", [](FakeModule&) {}, kWrongSim, 1, 6},
        OpenCase{"Register", [](FakeModule& m) { m.registerFails = true; }, kRegisterFailed, 0},
        OpenCase{"Atom", [](FakeModule& m) { m.atomFails = true; }, kAtomFailed, 0},
        OpenCase{"Mapping", [](FakeModule& m) { m.mappingFails = true; }, kMappingFailed, 0},
        OpenCase{"MappingExisted", [](FakeModule& m) { m.mappingExists = true; }, kMappingFailed,
                 0},
        OpenCase{"View", [](FakeModule& m) { m.viewFails = true; }, kViewFailed, 0},
        OpenCase{"TopBitSet", [](FakeModule& m) { Version(m, 0x80000000); }, kWrongModule, 1},
        OpenCase{"NoPattern", [](FakeModule& m) { Pattern(m, 0xFADF0007); }, kWrongModule, 1},
        OpenCase{"WideClientZeros",
                 [](FakeModule& m) {
                     m.windowClass = ipc::kWideClientClass;
                     m.aircraft.options.fault = standin::Options::Fault::Zeros;
                 },
                 kWideClientAlone, 5},
        OpenCase{"Hang", Sends(11), kTimedOut, 10},
        OpenCase{"HangReportedAsTimeout", Sends(11, 1460), kTimedOut, 10}),
    [](const auto& i) { return i.param.name; });

TEST_F(LinkTest, ModuleFoundAfterWideClientIsJudgedAsItself) {
    module.windowClass = ipc::kWideClientClass;
    module.aircraft.Poke32(offset::kSimVersion, 7);  // no check pattern
    EXPECT_FALSE(Open());
    EXPECT_EQ(code, kWideClientAlone);
    module.windowClass = ipc::kModuleClass;
    EXPECT_FALSE(Open());
    EXPECT_EQ(code, kWrongModule);
}

TEST_F(LinkTest, ClosedOrEmptyLinkSendsNothing) {
    int v = 5;  // each call must set the code itself
    const auto notOpen = [&](bool ok) { return !ok && std::exchange(code, -1) == kNotOpen; };
    EXPECT_TRUE(notOpen(link.IpcRead(offset::kVersion, 4, &v, code)));
    EXPECT_TRUE(notOpen(link.IpcWrite(offset::kLibVersion, 2, &v, code)));
    EXPECT_TRUE(notOpen(link.IpcWriteString(offset::kMessageText, 1, "", code)));
    EXPECT_TRUE(notOpen(link.IpcProcess(code)));
    EXPECT_EQ(module.sends, 0);
    ASSERT_TRUE(Open());
    EXPECT_FALSE(link.IpcProcess(code));
    EXPECT_EQ(code, kNothingQueued);
    EXPECT_EQ(module.sends, 1);  // the handshake's only
}

TEST_F(LinkTest, CapacityEdgeRefusesWithoutSpoilingTheBatch) {
    ASSERT_TRUE(Open());
    // 0 used + 4 + 16 + data = 32512 exactly
    Bytes big(kCapacity - 4 - 16, 0xEE);
    ASSERT_TRUE(link.IpcRead(0x4000, static_cast<std::int32_t>(big.size()), big.data(), code));
    std::int32_t v = 1;
    EXPECT_FALSE(link.IpcRead(offset::kVersion, 0, &v, code));  // 16 more bytes do not fit
    EXPECT_EQ(code, kAreaFull);
    EXPECT_TRUE(link.IpcProcess(code));
    EXPECT_EQ(big, Bytes(big.size(), 0));  // the module's empty space arrived
    Bytes src(kCapacity - 4 - 12 + 1, 3);
    EXPECT_FALSE(link.IpcWrite(0x4000, static_cast<std::int32_t>(src.size()), src.data(), code));
    EXPECT_EQ(code, kAreaFull);
    EXPECT_TRUE(link.IpcWrite(0x4000, static_cast<std::int32_t>(src.size() - 1), src.data(), code));
    EXPECT_TRUE(link.IpcProcess(code));
    ASSERT_EQ(module.aircraft.writes.size(), 2u);  // the handshake's and the one that fitted
    EXPECT_EQ(module.aircraft.writes[1].second.size(), src.size() - 1);
}

TEST_F(LinkTest, ReadsArriveOnlyWithTheRoundTripAndOnlyWhereAsked) {
    ASSERT_TRUE(Open());
    module.aircraft.Poke32(offset::kLatitude, 0x12345678);
    std::int32_t lat = 0, untouched = 77;
    std::uint8_t low = 0;
    code = -1;
    EXPECT_TRUE(link.IpcRead(offset::kLatitude, 4, &lat, code));
    EXPECT_EQ(code, kOk);
    EXPECT_TRUE(link.IpcRead(offset::kLatitude, 1, &low, code));
    EXPECT_TRUE(link.IpcRead(offset::kLatitude, 0, &untouched, code));
    EXPECT_TRUE(link.IpcRead(offset::kLongitude, 4, nullptr, code));
    EXPECT_EQ(lat, 0);
    EXPECT_TRUE(link.IpcProcess(code));
    EXPECT_EQ(code, kOk);
    EXPECT_EQ(lat, 0x12345678);
    EXPECT_EQ(low, 0x78);
    EXPECT_EQ(untouched, 77);
    // A module that leaves a read unfilled gives zeros, not the area's earlier answer.
    module.serve = false;
    EXPECT_TRUE(ReadInto(lat, offset::kLatitude));
    EXPECT_EQ(lat, 0);
}

// What the module may leave in the reply: the result and what reached the read.
struct ReplyCase {
    const char* name;
    std::function<void(std::uint8_t* area)> tamper;
    Result code;
    std::int32_t value;  // in the destination afterwards; it was -5
};

class Replies : public LinkTest, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(Replies, ResultAndDestination) {
    ASSERT_TRUE(Open());
    module.tamper = GetParam().tamper;
    std::int32_t v = -5;
    EXPECT_EQ(ReadInto(v), GetParam().code == kOk);
    EXPECT_EQ(code, GetParam().code);
    EXPECT_EQ(v, GetParam().value);
    module.tamper = nullptr;
    std::int32_t next = 0;
    EXPECT_TRUE(ReadInto(next));  // the link stays open; the next batch starts afresh
    EXPECT_EQ(next, 0x34000000);
}

// A read record with its data placed so that it ends `end` bytes into the area,
// after a write record that fills the space before it.
void ReadEndingAt(std::uint8_t* a, std::size_t end, std::uint32_t kind = kReadKind) {
    const std::size_t at = end - 20;
    Put32(a, kWriteKind);
    Put32(a + 8, static_cast<std::uint32_t>(at - 12));
    Put32(a + at, kind);
    Put32(a + at + 4, offset::kVersion);
    Put32(a + at + 8, 4);
    Put32(a + at + 12, 1);
    Put32(a + at + 16, 0xBEEF);
}

INSTANTIATE_TEST_SUITE_P(
    Walk, Replies,
    ::testing::Values(
        ReplyCase{"TerminatorInTheLastFourBytes",
                  [](auto* a) {
                      ReadEndingAt(a, kAreaSize - 4);
                      Put32(a + kAreaSize - 4, 0);
                  },
                  kOk, 0xBEEF},
        ReplyCase{"RecordEndsAtTheAreaEnd", [](auto* a) { ReadEndingAt(a, kAreaSize); }, kBadData,
                  0xBEEF},
        ReplyCase{"BadKind", [](auto* a) { a[0] = 3; }, kBadData, -5},
        ReplyCase{"SizePastTheArea", [](auto* a) { Put32(a + 8, 40000); }, kBadData, -5},
        ReplyCase{"SizeLargerThanQueued", [](auto* a) { Put32(a + 8, 5); }, kBadData, -5},
        ReplyCase{"ForeignDestination", [](auto* a) { Put32(a + 12, 2); }, kBadData, -5}),
    [](const auto& i) { return i.param.name; });

struct SendCase {
    const char* name;
    std::function<void(FakeModule&)> arrange;
    Result code;
};

class FailedSends : public LinkTest, public ::testing::WithParamInterface<SendCase> {};

// A batch that failed, or one closed before it was sent, leaves no destination
// behind that a later reply could name.
TEST_P(FailedSends, LaterRepliesCannotReachTheOldDestination) {
    ASSERT_TRUE(Open());
    GetParam().arrange(module);
    std::int32_t old = -5, fresh = -6;
    ASSERT_TRUE(link.IpcRead(offset::kVersion, 4, &old, code));
    if (GetParam().code == kOk) {
        link.IpcClose();
        ASSERT_TRUE(Open());
    } else {
        EXPECT_FALSE(link.IpcProcess(code));
        EXPECT_EQ(code, GetParam().code);
    }
    module.failingSends = 0;
    module.replyValue = 1;
    module.tamper = [](std::uint8_t* a) { Put32(a + 12, 1); };
    EXPECT_TRUE(link.IpcRead(offset::kVersion, 4, &fresh, code));
    EXPECT_TRUE(link.IpcProcess(code));
    EXPECT_EQ(old, -5);
    EXPECT_EQ(fresh, 0x34000000);
}

INSTANTIATE_TEST_SUITE_P(
    Batches, FailedSends,
    ::testing::Values(SendCase{"ReplyZero", [](FakeModule& m) { m.replyValue = 0; }, kBadData},
                      SendCase{"SendFailed", Sends(1000, 5), kSendFailed}),
    [](const auto& i) { return i.param.name; });

TEST_F(LinkTest, WriteStringCarriesTheTerminator) {
    ASSERT_TRUE(Open());
    EXPECT_TRUE(link.IpcWriteString(offset::kMessageText, 1, "", code));
    EXPECT_TRUE(link.IpcWriteString(offset::kMessageText, 4, "abc", code));
    EXPECT_TRUE(link.IpcWriteString(offset::kMessageText, 2, "abc", code));
    EXPECT_FALSE(link.IpcWriteString(offset::kMessageText, -1, "abc", code));
    EXPECT_EQ(code, kAreaFull);
    EXPECT_TRUE(link.IpcProcess(code));
    EXPECT_TRUE(link.IpcWriteString(offset::kMessageText, 40, "abc", code));
    EXPECT_TRUE(link.IpcProcess(code));
    EXPECT_EQ(module.aircraft.Messages(),
              (std::vector<std::string>{"text:", "text:abc", "text:ab", "text:abc"}));
    EXPECT_EQ(module.aircraft.writes[3].second, (Bytes{'a', 'b'}));
    Bytes padded(40, 0);  // zeros after the text, never what lies beyond it
    std::copy_n("abc", 3, padded.begin());
    EXPECT_EQ(module.aircraft.writes.back().second, padded);
}

}  // namespace
}  // namespace verlisk
