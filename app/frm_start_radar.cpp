#include "app/frm_start.h"
#include "simlink/fsuipc.h"

namespace verlisk {

void FrmStart::Timer_Radar_Timer() {
    // A message box shown inside a tick lets further ticks run; one of those would
    // open the link again on top of the pending one and could stack a second
    // version refusal. The pending tick finishes first.
    if (RadarTickInProgress) return;
    RadarTickInProgress = true;
    FSUIPCConnect();
    p_.link.IpcClose();
    RadarTickInProgress = false;
}

}  // namespace verlisk
