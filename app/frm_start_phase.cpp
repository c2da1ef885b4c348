#include "app/frm_start.h"

namespace verlisk {

// The running display is not built yet; the tick is wired so that the timer runs.
void FrmStart::Timer_PhaseControl_Timer() {}

}  // namespace verlisk
