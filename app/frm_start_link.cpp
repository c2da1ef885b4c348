#include <cstdint>
#include <cstdlib>

#include "app/frm_start.h"
#include "simlink/fsuipc.h"
#include "simlink/ipc_protocol.h"
#include "simlink/link_texts.h"

namespace verlisk {

void FrmStart::FSUIPCConnect() {
    if (!IpcInitDone) {
        p_.link.IpcInit();
        IpcInitDone = true;
    }
    const std::int32_t anySim = 0;
    std::int32_t code = 0;
    if (p_.link.IpcOpen(anySim, code)) {
        myFSUIPCStatus = IpcErrorText(code);
        FsuipcVersionText = GateVersionText(p_.link.IpcVersion);
    }
    if (code == ipc::kOk || code == ipc::kAlreadyOpen) {
        LinkOpen = true;
        if (GateVersionValue(FsuipcVersionText) < 3.4) {
            logthis("FSUIPC Version: ### THIS VERSION IS NOT SUPPORTED ###" + FsuipcVersionText);
            p_.view.ShowMessage("FSUIPC Version: " + FsuipcVersionText +
                                    "  Oops! Now requires FSUIPC Version 3.4 or better.  Update "
                                    "your version of FSUIPC and restart",
                                "", MsgButtons::Ok, MsgIcon::None, false);
            TidyExit();
        }
    } else {
        LinkOpen = false;
    }
    myFSUIPCStatus = IpcErrorText(code);
}

std::string FrmStart::FSUIPCVersionString() { return VersionWordText(p_.link.IpcVersion); }

void FrmStart::SimMessage(const std::string& text) {
    const auto size = static_cast<std::int32_t>(text.size() + 1);
    if (SimMessageBusy) return;
    SimMessageBusy = true;
    std::int32_t code = 0;
    if (p_.link.IpcWriteString(ipc::offset::kMessageText, size, text, code)) {
        p_.link.IpcProcess(code);
    }
    const std::int16_t display = 10;
    if (p_.link.IpcWrite(ipc::offset::kMessageControl, 2, &display, code)) {
        p_.link.IpcProcess(code);
    }
    SimMessageBusy = false;
}

void FrmStart::TidyExit() {
    SimMessage("");
    p_.link.IpcClose();
    p_.view.SetTimerEnabled(Timer::Timer_PhaseControl, false);
    p_.view.SetTimerEnabled(Timer::Timer_Radar, false);
    p_.view.Unload();
    p_.process.EndProcess();
    std::abort();  // an adapter whose EndProcess returned must not let the caller go on
}

}  // namespace verlisk
