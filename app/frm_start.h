#pragma once

// The main window's state and handlers. The handlers are declared below grouped by the
// file that defines them, each group headed by its name. They sit above the pure pieces
// they use (common/, simlink/, monitor/, reporting/), which never include anything of app/.

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

    // frm_start_load.cpp
    void Form_Load();
    void logthis(std::string_view text);

  private:
    // The local time, to the second, as date-time text in the user's formats.
    std::string NowText();

  public:
    // frm_start_config.cpp
    void ConfigRead();
    void ConfigWrite();
    std::string RandomString(std::int16_t length);

    // frm_start_link.cpp
    void FSUIPCConnect();
    std::string FSUIPCVersionString();
    void SimMessage(const std::string& text);
    [[noreturn]] void TidyExit();

    // frm_start_radar.cpp
    void Timer_Radar_Timer();
    void Radar();
    void ReadTanks();

    // frm_start_phase.cpp
    void Timer_PhaseControl_Timer();

    // frm_start_session.cpp
    void cmdStart_Click();
    void cmdStop_Click();

  private:
    // The client identifier box, trimmed, taken into ClientID when it is not empty.
    void TakeClientId();
    // After a refused flight: the buttons back to idle, the four figures to "---".
    void ResetAfterRefusal();

  public:
    // frm_start_upload.cpp
    void UploadReport(const std::string& report);
    void Inet1_StateChanged(std::int16_t State);
    // The HTTP client's state changes arrive here with their request's generation;
    // those of an ended request are dropped.
    void OnInetState(std::uint32_t generation, std::int16_t state);

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
    FrmStartPorts p_;
};

// frm_start_load.cpp: the "This program was designed ..." text that Form_Load puts into
// Label1.
std::string InformationText();

}  // namespace verlisk
