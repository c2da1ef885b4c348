#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "simlink/ipc_area.h"
#include "standin/aircraft.h"

namespace verlisk::standin {
namespace {

using namespace ipc;

struct Area {
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(kAreaSize);
    std::size_t at = 0;
    void Read(std::uint32_t offset, std::uint32_t size) {
        Put32(&bytes[at], kReadKind);
        Put32(&bytes[at + 4], offset);
        Put32(&bytes[at + 8], size);
        at += 16 + size;
    }
    void Write(std::uint32_t offset, const void* data, std::uint32_t size) {
        Put32(&bytes[at], kWriteKind);
        Put32(&bytes[at + 4], offset);
        Put32(&bytes[at + 8], size);
        std::memcpy(&bytes[at + 12], data, size);
        at += 12 + size;
    }
};

TEST(StandIn, ServesTheAircraftAndBurnsFuel) {
    Options o;
    o.grossWeight = 3000;
    o.burnPerHour = 60;
    o.title = "Test Plane";
    Aircraft a(o);
    Area area;
    area.Read(0x30C0, 8);
    area.Read(0x3D00, 256);
    area.Read(0x3308, 4);
    ASSERT_TRUE(a.Serve(area.bytes.data(), kAreaSize, 0.5));
    double gross;
    std::memcpy(&gross, &area.bytes[16], 8);
    EXPECT_EQ(gross, 2970);
    EXPECT_STREQ(reinterpret_cast<const char*>(&area.bytes[16 + 8 + 16]), "Test Plane");
    EXPECT_EQ(Get32(&area.bytes[16 + 8 + 16 + 256 + 16]), 0xFADE0007u);
    EXPECT_EQ(Get32(&area.bytes[0]), kReadKind);  // headers stay as they were
}

TEST(StandIn, RecordsDisplayTextsAndKeepsTheCheckPattern) {
    Aircraft a(Options{});
    Area area;
    const std::uint16_t zero = 0, ten = 10;
    area.Write(0x330A, &zero, 2);
    area.Write(0x3380, "", 1);
    area.Write(0x3380, "Hi", 3);
    area.Write(0x32FA, &ten, 2);
    area.Read(0x3308, 4);
    ASSERT_TRUE(a.Serve(area.bytes.data(), kAreaSize, 0));
    EXPECT_EQ(a.messages, (std::vector<std::string>{"text:", "text:Hi", "display:10"}));
    EXPECT_EQ(Get32(&area.bytes[area.at - 4]), 0xFADE0007u);
}

// A client that writes nonsense must not make the module read or write outside the
// area or its own offset space (AddressSanitizer watches every byte here).
TEST(StandIn, MalformedRequestsAreRefused) {
    struct Case {
        const char* name;
        std::uint32_t kind, offset, size;
    };
    for (const auto& c :
         {Case{"UnknownKind", 3, 0x3304, 4}, Case{"SizePastTheArea", kReadKind, 0x3304, 40000},
          Case{"HugeSize", kWriteKind, 0x3304, 0xFFFFFFF0u},
          Case{"OffsetPastTheSpace", kReadKind, 0xFFFF, 8},
          Case{"OffsetWraps", kWriteKind, 0xFFFFFFFFu, 2}}) {
        Aircraft a(Options{});
        std::vector<std::uint8_t> area(64);
        Put32(&area[0], c.kind);
        Put32(&area[4], c.offset);
        Put32(&area[8], c.size);
        EXPECT_FALSE(a.Serve(area.data(), area.size(), 0)) << c.name;
    }
    Aircraft a(Options{});
    std::vector<std::uint8_t> noTerminator(12, 0);
    Put32(&noTerminator[0], kWriteKind);  // a zero-size write, then the area ends
    EXPECT_FALSE(a.Serve(noTerminator.data(), noTerminator.size(), 0));
}

TEST(StandIn, CommandLine) {
    Options o;
    EXPECT_EQ(ParseOptions({"--version", "0x33300000", "--class", "FS98MAIN", "--tanks",
                            "1,2,3,4,5,6,7,8,9", "--fault", "hang"},
                           o),
              "");
    EXPECT_EQ(o.version, 0x33300000u);
    EXPECT_EQ(o.windowClass, "FS98MAIN");
    EXPECT_EQ(o.tanks[8], 9);
    EXPECT_EQ(o.fault, Options::Fault::Hang);
    EXPECT_EQ(o.delayMs, 30000u);
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--version"},
                                                {"--version", "x1"},
                                                {"--class", "OTHER"},
                                                {"--tanks", "1,2,3"},
                                                {"--tanks", "1,2,3,4,5,6,7,8,9,10"},
                                                {"--fault", "melt"},
                                                {"--nonsense", "1"}}) {
        Options ignored;
        EXPECT_NE(ParseOptions(bad, ignored), "") << bad[0];
    }
}

}  // namespace
}  // namespace verlisk::standin
