#include <cstdint>

#include "app/frm_start.h"
#include "common/text.h"
#include "monitor/sampling.h"

namespace verlisk {

void FrmStart::Timer_PhaseControl_Timer() {
    p_.view.SetPanelText(1, SampleTaken ? "FSUIPC " + FSUIPCVersionString() : "NO FSUIPC");
    if (Phase != 1) return;

    // A clock set back before START (a time sync, the pilot's own correction) shows
    // a flight that has just begun, not a negative one, until it passes START again.
    std::int64_t seconds = SecondsBetween(StartTime, WholeSeconds(p_.clock.Now()));
    if (seconds < 0) seconds = 0;
    p_.view.SetText(Control::Label2, monitor::ElapsedText(seconds));
    // From 15 minutes on the flight can be reported: the clock turns from red.
    p_.view.SetForeColor(Control::Label2, seconds < 900 ? layout::Rgb(255, 0, 0)
                                                        : layout::Sys(layout::kColorWindowText));

    const double used = StartWeight - GrossWeight;
    FlightHours = monitor::FlightHoursOf(seconds);
    FuelPerHour = monitor::BurnRate(used, seconds);

    auto show = [&](Control c, double value) {
        p_.view.SetText(c, NumberText(RoundHalfEven(value, 1), p_.regional));
    };
    show(Control::lblStartWeight, StartWeight);
    show(Control::lblStopWeight, GrossWeight);
    show(Control::lblDifference, StartWeight - GrossWeight);
    show(Control::lblFuelage, FuelPerHour);
}

}  // namespace verlisk
