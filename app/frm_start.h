#pragma once

// The main window's state and handlers. Which file holds which handler:
//   frm_start_load.cpp    Form_Load, logthis
//   frm_start_config.cpp  ConfigRead, ConfigWrite, RandomString
//   frm_start_link.cpp    FSUIPCConnect, FSUIPCVersionString, SimMessage, TidyExit
//   frm_start_radar.cpp   Timer_Radar_Timer, Radar, ReadTanks
//   frm_start_phase.cpp   Timer_PhaseControl_Timer
//   frm_start_session.cpp cmdStart_Click, cmdStop_Click
//   frm_start_upload.cpp  UploadReport, Inet1_StateChanged (and the routing to it)
// They sit above the pure pieces they use (common/, simlink/, monitor/, reporting/),
// which never include anything of app/.

#include <cstdint>
#include <string>
#include <string_view>

#include "app/form_view.h"
#include "common/ports.h"

namespace verlisk {

class FsuipcLink;
class HttpClient;

// Everything the main window reaches outside itself.
struct FrmStartPorts {
    FormView& view;
    FileSystem& files;
    Clock& clock;
    RegionalSettings& regional;
    ProcessControl& process;
    FsuipcLink& link;
    HttpClient& inet;
};

// The main window: all session and sampling state, and the handlers that the
// window's events are routed to. Fields start zero, empty or false.
class FrmStart {
  public:
    explicit FrmStart(FrmStartPorts ports) : p_(ports) {}

    // Window events.
    void Form_Load();
    void Timer_Radar_Timer();
    void Timer_PhaseControl_Timer();
    void cmdStart_Click();
    void cmdStop_Click();
    void Inet1_StateChanged(std::int16_t State);
    // The HTTP client's state changes arrive here with their request's generation;
    // those of an ended request are dropped.
    void OnInetState(std::uint32_t generation, std::int16_t state);

    // Public procedures of the window.
    void logthis(std::string_view text);
    [[noreturn]] void TidyExit();
    std::string RandomString(std::int16_t length);
    void Radar();

    // Private procedures, public here so that tests can drive them one by one.
    void ConfigRead();
    void ConfigWrite();
    void FSUIPCConnect();
    std::string FSUIPCVersionString();
    void SimMessage(const std::string& text);
    void ReadTanks();
    void UploadReport(const std::string& report);

    // Session and sampling state.
    std::int16_t Phase = 0;
    DateTime StartTime{};
    double StartWeight = 0;
    double GrossWeight = 0;
    std::string AircraftTitle;
    double Latitude = 0;
    double Longitude = 0;
    bool SampleTaken = false;
    bool SampleInProgress = false;
    std::int32_t ZeroFuelWeight = 0;
    std::int32_t MaxTankWeight = 0;
    double FlightHours = 0;
    double FuelPerHour = 0;
    std::string VersionText;
    std::string ClientID;
    std::string ServerResponse;

    // Start-up.
    bool FirstLoadDone = false;

    // Connection check.
    bool LinkOpen = false;
    std::string myFSUIPCStatus;
    std::string FsuipcVersionText;
    bool IpcInitDone = false;
    bool SimMessageBusy = false;
    bool RadarTickInProgress = false;

    // Report upload: the generation of the newest request.
    std::uint32_t InetGeneration = 0;

    // Set once the pilot has been told that the configuration cannot be written.
    bool ConfigWriteFailureTold = false;

  private:
    // The local time, to the second, as date-time text in the user's formats.
    std::string NowText();
    // The client identifier box, trimmed, taken into ClientID when it is not empty.
    void TakeClientId();
    // After a refused flight: the buttons back to idle, the four figures to "---".
    void ResetAfterRefusal();

    FrmStartPorts p_;
};

// "This program was designed ..." text that Form_Load puts into Label1.
std::string InformationText();

}  // namespace verlisk
