#include <cstdlib>

#include "app/frm_start.h"
#include "simlink/fsuipc.h"

namespace verlisk {

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
