#include <gtest/gtest.h>

#include <vector>

#include "simlink/ipc_protocol.h"
#include "standin/aircraft.h"

namespace verlisk::standin {
namespace {

using namespace ipc;

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

}  // namespace
}  // namespace verlisk::standin
