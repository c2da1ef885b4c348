// Feeds the reply walk with arbitrary areas, as a broken or hostile module could
// leave them. Destinations are exact-size heap blocks, so AddressSanitizer sees any
// byte written past one.
// The stand-in serves the same bytes as a request from a client writing nonsense: it
// must stay inside them and inside its own offset space.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "fake_module.h"
#include "simlink/fsuipc.h"
#include "simlink/ipc_protocol.h"
#include "standin/aircraft.h"

using verlisk::FsuipcLink;
using verlisk::testing::FakeModule;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    FakeModule module;
    FsuipcLink link(module);
    std::int32_t code = 0;
    if (!link.IpcOpen(0, code)) std::abort();

    // The first byte says how many reads to queue and the next ones their sizes.
    const int reads = 1 + data[0] % 8;
    std::vector<std::unique_ptr<std::uint8_t[]>> dest;
    std::vector<std::size_t> sizes;
    std::size_t used = 1;
    for (int i = 0; i < reads && used < size; ++i, ++used) {
        const std::size_t n = data[used] % 64;
        sizes.push_back(n);
        dest.emplace_back(new std::uint8_t[n + 1]);
        std::memset(dest.back().get(), 0xA5, n + 1);
        if (!link.IpcRead(0x3304, static_cast<std::int32_t>(n), dest.back().get(), code)) {
            std::abort();
        }
    }

    // The rest of the input replaces the area after the module has answered.
    const std::uint8_t* area = data + used;
    const std::size_t areaSize = size - used;
    module.tamper = [&](std::uint8_t* a) {
        std::memcpy(a, area, std::min(areaSize, verlisk::ipc::kAreaSize));
    };
    link.IpcProcess(code);
    if (code != 0 && code != 13) std::abort();
    std::unique_ptr<std::uint8_t[]> request(new std::uint8_t[areaSize]);
    std::memcpy(request.get(), area, areaSize);
    verlisk::standin::Aircraft(verlisk::standin::Options{}).Serve(request.get(), areaSize, 0);

    for (std::size_t i = 0; i < sizes.size(); ++i) {
        if (dest[i][sizes[i]] != 0xA5) std::abort();  // the byte past each destination
    }
    if (link.IpcNext != link.IpcView) std::abort();
    return 0;
}
