#include <cstdint>

#include "app/frm_start.h"
#include "simlink/fsuipc.h"

namespace verlisk {

void FrmStart::SimMessage(const std::string& text) {
    const auto size = static_cast<std::int32_t>(text.size() + 1);
    if (SimMessageBusy) return;
    SimMessageBusy = true;
    std::int32_t code = 0;
    if (p_.link.IpcWriteString(0x3380, size, text, code)) p_.link.IpcProcess(code);
    const std::int16_t display = 10;
    if (p_.link.IpcWrite(0x32FA, 2, &display, code)) p_.link.IpcProcess(code);
    SimMessageBusy = false;
}

}  // namespace verlisk
