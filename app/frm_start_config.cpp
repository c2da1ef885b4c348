#include "app/frm_start.h"
#include "reporting/config_file.h"

namespace verlisk {

void FrmStart::ConfigRead() {
    auto outcome = ReadConfigFile(p_.files);
    if (!outcome.logLine.empty()) logthis(outcome.logLine);
    if (outcome.clientId) ClientID = *outcome.clientId;
}

void FrmStart::ConfigWrite() {
    const auto text = ConfigFileText(ClientID, NowText());
    if (p_.files.WriteAll(kConfigFileName, text) || ConfigWriteFailureTold) return;
    // Told once per run: the pilot can fly on, only the identifier is not kept.
    ConfigWriteFailureTold = true;
    logthis("ConfigWrite(): [cannot write configuration file]");
    p_.view.ShowMessage(
        "The configuration file verlisk.cfg cannot be written in this folder.\r\n"
        "Your client ID will not be kept for the next start.",
        "", MsgButtons::Ok, MsgIcon::None, false);
}

std::string FrmStart::RandomString(std::int16_t length) {
    return RandomIdentifier(length, p_.clock.Now());
}

}  // namespace verlisk
