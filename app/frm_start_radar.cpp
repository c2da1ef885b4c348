#include <cstdint>

#include "app/frm_start.h"
#include "common/text.h"
#include "monitor/sampling.h"
#include "simlink/fsuipc.h"
#include "simlink/ipc_protocol.h"

namespace verlisk {

namespace offset = ipc::offset;

void FrmStart::Timer_Radar_Timer() {
    // A message box shown inside a tick lets further ticks run; one of those would
    // open the link again on top of the pending one and could stack a second
    // refusal. Ticks that fall due meanwhile are skipped.
    if (RadarTickInProgress) return;
    RadarTickInProgress = true;
    FSUIPCConnect();
    if (LinkOpen) Radar();
    p_.link.IpcClose();
    RadarTickInProgress = false;
}

void FrmStart::Radar() {
    if (SampleInProgress) return;
    SampleInProgress = true;
    auto& link = p_.link;
    std::int32_t code = 0;

    double gross = 0;
    if (link.IpcRead(offset::kGrossWeight, 8, &gross, code) && link.IpcProcess(code)) {
        GrossWeight = gross;
    }

    std::int32_t raw = 0;
    if (!link.IpcRead(offset::kLatitude, 4, &raw, code)) {
        SampleInProgress = false;
        return;
    }
    if (link.IpcProcess(code)) {
        Latitude = monitor::LatitudeDegrees(raw);
        if (Latitude < -90 || Latitude > 90) {
            p_.view.ShowMessage(
                "Regional Settings Error.  lat: " + NumberText(Latitude, p_.regional), "",
                MsgButtons::Ok, MsgIcon::None, false);
            TidyExit();
        }
    }

    if (link.IpcRead(offset::kLongitude, 4, &raw, code) && link.IpcProcess(code)) {
        Longitude = monitor::LongitudeDegrees(raw);
        // A 32-bit longitude always converts into range; the check stays for a module
        // that would one day deliver more.
        if (Longitude < -180 || Longitude > 180) {
            const std::string text = NumberText(Longitude, p_.regional);
            logthis("Radar() regional settings error:  longitude= " + text);
            p_.view.ShowMessage("Regional Settings Error.  lon: " + text, "", MsgButtons::Ok,
                                MsgIcon::None, false);
            TidyExit();
        }
    }

    std::uint8_t title[ipc::kTitleSize] = {};
    if (!link.IpcRead(offset::kTitle, sizeof title, title, code)) {
        SampleInProgress = false;
        return;
    }
    if (link.IpcProcess(code)) AircraftTitle = monitor::TitleText(title, sizeof title);

    SampleTaken = true;
    if (ZeroFuelWeight == 0) ReadTanks();
    SampleInProgress = false;
}

void FrmStart::ReadTanks() {
    auto& link = p_.link;
    std::int32_t code = 0;
    // One buffer for all ten reads, not reset between them: a failed read leaves it
    // as the one before left it.
    std::int32_t buffer = 0;
    link.IpcRead(offset::kZeroFuelWeight, 4, &buffer, code);
    link.IpcProcess(code);
    ZeroFuelWeight = monitor::ZeroFuelPounds(buffer);

    std::int32_t sum = 0;
    for (const std::int32_t tank : offset::kTanks) {
        if (link.IpcRead(tank, 4, &buffer, code) && link.IpcProcess(code)) {
            sum = monitor::AddPounds(sum, monitor::TankPounds(buffer));
        }
    }
    MaxTankWeight = sum;
}

}  // namespace verlisk
