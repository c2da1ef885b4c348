#include <cstdint>
#include <string>

#include "app/frm_start.h"
#include "common/text.h"
#include "reporting/http_client.h"
#include "reporting/report.h"

namespace verlisk {

namespace {
constexpr std::int64_t kWaitLimitSeconds = 30;
constexpr std::size_t kChunkChars = 1024;
// Between two passes of the wait; the progress text changes once a second.
constexpr std::uint32_t kPassMs = 100;
}  // namespace

void FrmStart::UploadReport(const std::string& report) {
    const DateTime start = WholeSeconds(p_.clock.Now());
    p_.inet.Execute(++InetGeneration, kReportUrl, "POST", report, kReportHeaders);
    ServerResponse = "";
    for (;;) {
        p_.view.DoEvents();
        if (!ServerResponse.empty()) break;
        const std::int64_t elapsed = SecondsBetween(start, WholeSeconds(p_.clock.Now()));
        p_.view.SetPanelText(3, "connecting..." + std::to_string(elapsed));
        if (!ServerResponse.empty()) break;
        if (elapsed > kWaitLimitSeconds) {
            p_.view.ShowMessage(
                "Unable to connect to the server - wait a few minutes and try again", "",
                MsgButtons::Ok, MsgIcon::None, false);
            logthis("Unable to connect server..." + report);
            ServerResponse = "-2";
            return;
        }
        p_.view.WaitForEvents(kPassMs);
    }
    ServerResponse = Trim(ServerResponse);
    if (ServerResponse == kAcceptanceToken) {
        p_.view.ShowMessage("Fuel report submitted", "Thanks!", MsgButtons::Ok, MsgIcon::None,
                            false);
        logthis("fuel report submitted ok");
    } else {
        p_.view.ShowMessage(ServerResponse, "Error", MsgButtons::Ok, MsgIcon::Critical, false);
        p_.view.SetPanelText(3, "resp err");
        logthis("[" + ServerResponse + "]");
    }
}

void FrmStart::Inet1_StateChanged(std::int16_t State) {
    if (State != kResponseCompleted) return;
    std::string text;
    std::string piece = p_.inet.GetChunk(kChunkChars);
    do {
        text += piece;
        p_.view.DoEvents();
        piece = p_.inet.GetChunk(kChunkChars);
    } while (!piece.empty());
    ServerResponse = text;
}

void FrmStart::OnInetState(std::uint32_t generation, std::int16_t state) {
    if (generation == InetGeneration) Inet1_StateChanged(state);
}

}  // namespace verlisk
