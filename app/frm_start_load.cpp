#include <string>

#include "app/frm_start.h"
#include "common/version.h"
#include "common/text.h"

namespace verlisk {

namespace {
constexpr const char* kLogFile = "log.txt";
}  // namespace

std::string InformationText() {
    return std::string(
               "This program was designed to track and send MSFS fuel usage data to the Pellanor "
               "server. ") +
           "For best results: (1) start the sim, then open this program and verify the FSUIPC "
           "connection; " +
           "(2) click the START button; (3) complete your flight; and (4) click on the STOP "
           "button - a dialog box will allow you to optionally upload the results to the "
           "server. " +
           "For more information see readme.txt file.";
}

void FrmStart::Form_Load() {
    p_.view.SetText(Control::Label1, InformationText());
    ConfigRead();
    VersionText = VERLISK_VERSION_TEXT;
    p_.view.SetPanelText(3, "Version: " + VersionText);
    if (!FirstLoadDone) {
        // A log that cannot be deleted is simply continued: the lines still go on.
        if (p_.files.IsOrdinaryFile(kLogFile)) p_.files.Delete(kLogFile);
        logthis("Version " VERLISK_LOG_VERSION_TEXT);
        FirstLoadDone = true;
    }
    p_.view.SetPanelText(2, "STOPPED");
    logthis("INIT OK");
    if (ClientID.empty()) ClientID = RandomString(8);
    p_.view.SetText(Control::txtClientID, ClientID);
}

std::string FrmStart::NowText() { return DateTimeText(WholeSeconds(p_.clock.Now()), p_.regional); }

void FrmStart::logthis(std::string_view text) {
    std::string line = NowText();
    line += ": ";
    line += text;
    line += "\r\n";
    // A line that cannot be written (read-only folder, file locked) is skipped:
    // the pilot's flight matters more than its log.
    p_.files.Append(kLogFile, line);
}

}  // namespace verlisk
