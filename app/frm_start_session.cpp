#include <cstdint>

#include "app/frm_start.h"
#include "common/text.h"
#include "monitor/sampling.h"
#include "reporting/report.h"

namespace verlisk {

void FrmStart::TakeClientId() {
    const std::string typed = Trim(p_.view.GetText(Control::txtClientID));
    if (!typed.empty()) ClientID = typed;
}

void FrmStart::cmdStart_Click() {
    Phase = 1;
    StartTime = WholeSeconds(p_.clock.Now());
    StartWeight = GrossWeight;
    p_.view.SetEnabled(Control::cmdStart, false);
    p_.view.SetEnabled(Control::cmdStop, true);
    p_.view.SetPanelText(2, "RUNNING");
    logthis(DateTimeText(StartTime, p_.regional) + " " + AircraftTitle + " " +
            NumberText(StartWeight, p_.regional));
    TakeClientId();
    ConfigWrite();
}

void FrmStart::ResetAfterRefusal() {
    p_.view.SetEnabled(Control::cmdStart, true);
    p_.view.SetEnabled(Control::cmdStop, false);
    for (Control c : {Control::lblStartWeight, Control::lblStopWeight, Control::lblDifference,
                      Control::lblFuelage}) {
        p_.view.SetText(c, "---");
    }
}

void FrmStart::cmdStop_Click() {
    Phase = 0;
    p_.view.SetEnabled(Control::cmdStop, false);
    p_.view.SetPanelText(2, "STOPPED");
    const double MassDifference = StartWeight - GrossWeight;
    const std::int64_t seconds = SecondsBetween(StartTime, WholeSeconds(p_.clock.Now()));
    FlightHours = monitor::FlightHoursOf(seconds);
    FuelPerHour = monitor::BurnRate(MassDifference, seconds);
    logthis("Mass Differential (pounds) : " + NumberText(MassDifference, p_.regional));
    logthis("Time Enroute (hours)       : " + NumberText(FlightHours, p_.regional));
    logthis("Fuelage (pounds per hour)  : " + NumberText(FuelPerHour, p_.regional));

    // Written as "not greater than 0" so that a rate a garbled weight made NaN is refused too.
    if (!(FuelPerHour > 0)) {
        p_.view.ShowMessage(
            "Current fuel is greater than or equal\r\nto starting fuel.\r\nStart when ready",
            "CRITICAL", MsgButtons::Ok, MsgIcon::Critical, false);
        ResetAfterRefusal();
        return;
    }
    if (FlightHours < 0.25) {
        p_.view.ShowMessage(
            "Can not send reports for flights of less than 15 minutes.\r\nRestart when ready",
            "CRITICAL", MsgButtons::Ok, MsgIcon::Critical, false);
        ResetAfterRefusal();
        return;
    }
    const MsgResult answer =
        p_.view.ShowMessage("Fuelage: " + NumberText(RoundHalfEven(FuelPerHour, 1), p_.regional) +
                                "\r\nSend fuel report to server?",
                            "Upload Fuel Report", MsgButtons::YesNo, MsgIcon::None, true);
    if (answer == MsgResult::Yes) {
        const std::string clientId = Trim(p_.view.GetText(Control::txtClientID));
        UploadReport(ReportBody(AircraftTitle, NumberText(FuelPerHour, p_.regional), VersionText,
                                ZeroFuelWeight, MaxTankWeight, clientId));
        // No answer came: STOP stays available to send the flight again.
        const bool retry = ServerResponse == "-2";
        p_.view.SetEnabled(Control::cmdStart, !retry);
        p_.view.SetEnabled(Control::cmdStop, retry);
    } else {
        p_.view.SetEnabled(Control::cmdStart, true);
        p_.view.SetEnabled(Control::cmdStop, false);
    }
    TakeClientId();
    ConfigWrite();
}

}  // namespace verlisk
