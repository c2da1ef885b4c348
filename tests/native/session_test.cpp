#include <gtest/gtest.h>

#include "common/text.h"
#include "fakes.h"

namespace verlisk {
namespace {

using testing::LogLines;

const char* kCheckA =
    "Current fuel is greater than or equal\r\nto starting fuel.\r\nStart when ready";
const char* kCheckB =
    "Can not send reports for flights of less than 15 minutes.\r\nRestart when ready";

struct Session : testing::FrmFixture {
    // START at the fake clock's time with `start` pounds, STOP `seconds` later with `end`.
    void Fly(std::int64_t seconds, double start, double end) {
        frm.GrossWeight = start;
        frm.cmdStart_Click();
        files.files.erase("verlisk.cfg");
        files.files.erase("log.txt");
        clock.Advance(seconds);
        frm.GrossWeight = end;
        frm.cmdStop_Click();
    }
    // Every wait of the upload lasts a second; the first request's answer, if any,
    // arrives as a window event after the first wait.
    void Answer(std::optional<std::string> answer) {
        view.onWait = [this] { clock.Advance(1); };
        view.onEvents = [this, answer, sent = false]() mutable {
            if (!answer || sent || view.waited == 0) return;
            sent = true;
            inet.answer = *answer;
            frm.OnInetState(frm.InetGeneration, kResponseCompleted);
        };
    }
};

struct CheckCase {
    std::int64_t seconds;
    double start, end;
    const char* text;                 // of the one box the pilot sees
    const char *mass, *hours, *rate;  // in the log
};

class Checks : public Session, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(Checks, RefusedFlightsGoBackToIdle) {
    const auto& c = GetParam();
    view.answers = {MsgResult::No};
    view.onBox = [&] {  // while STOP decides, a second STOP cannot start
        EXPECT_FALSE(view.enabled[Control::cmdStop]);
        EXPECT_EQ(frm.Phase, 0);
    };
    Fly(c.seconds, c.start, c.end);
    const bool refused = c.text == kCheckA || c.text == kCheckB;
    EXPECT_EQ(
        view.boxes,
        std::vector<testing::Box>(
            {refused ? testing::Box{c.text, "CRITICAL", MsgButtons::Ok, MsgIcon::Critical, false}
                     : testing::Box{c.text, "Upload Fuel Report", MsgButtons::YesNo, MsgIcon::None,
                                    true}}));
    EXPECT_NE(Log().find(std::string(": Mass Differential (pounds) : ") + c.mass + "\r\n" +
                         Log().substr(0, 22) + "Time Enroute (hours)       : " + c.hours + "\r\n" +
                         Log().substr(0, 22) + "Fuelage (pounds per hour)  : " + c.rate + "\r\n"),
              std::string::npos)
        << Log();
    EXPECT_EQ(State(), testing::kIdle);
    EXPECT_EQ(view.texts[Control::lblFuelage], refused ? "---" : "");
    EXPECT_EQ(files.files.count("verlisk.cfg"), refused ? 0u : 1u);
    EXPECT_TRUE(inet.requests.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Flights, Checks,
    ::testing::Values(
        CheckCase{899, 1000, 990, kCheckB, "10", "0.249722222222222", "40.0444938820912"},
        CheckCase{900, 0, 0, kCheckA, "0", "0.25", "0"},  // never a sample
        CheckCase{900, 1000, 990, "Fuelage: 40\r\nSend fuel report to server?", "10", "0.25", "40"},
        CheckCase{3600, 100.5, 100, "Fuelage: 0.5\r\nSend fuel report to server?", "0.5", "1",
                  "0.5"},
        CheckCase{3600, 52.25, 0, "Fuelage: 52.2\r\nSend fuel report to server?", "52.25", "1",
                  "52.25"}));

TEST_F(Session, StartStoresTheTypedIdentifierAndStopSendsTheReportAsComposed) {
    frm.AircraftTitle = "Sample_Aircraft";
    frm.VersionText = "2.0.27";
    frm.ZeroFuelWeight = 1950;
    frm.MaxTankWeight = 336;
    view.texts[Control::txtClientID] = "  abcd2345 ";
    frm.GrossWeight = 1000;
    frm.cmdStart_Click();
    EXPECT_EQ(Log(), LogLines({"12/4/2026 7:35:12 PM Sample_Aircraft 1000"}));
    EXPECT_EQ(frm.ClientID, "abcd2345");
    EXPECT_NE(files.files["verlisk.cfg"].find("\r\nabcd2345\r\n"), std::string::npos);
    EXPECT_EQ(State(), testing::kRunning);
    frm.Timer_PhaseControl_Timer();  // the running display starts
    EXPECT_EQ(view.texts[Control::Label2], "00:00:00");
    Answer("OK+OK+OK");
    clock.Advance(3600);
    frm.GrossWeight = 947.5;
    frm.cmdStop_Click();
    ASSERT_EQ(inet.requests.size(), 1u);
    EXPECT_EQ(inet.requests[0].body,
              "TL=Sample_Aircraft&PPH=52.5&VERSION=2.0.27&ZFW=1950&MTANK=336&CLIENTID=abcd2345");
    // An identifier typed during the flight goes into the report and is kept after it.
    frm.cmdStart_Click();
    view.texts[Control::txtClientID] = " newid7";
    clock.Advance(3600);
    frm.GrossWeight = 900;
    frm.cmdStop_Click();
    ASSERT_EQ(inet.requests.size(), 2u);
    EXPECT_EQ(inet.requests[1].body.substr(inet.requests[1].body.size() - 16), "&CLIENTID=newid7");
    EXPECT_EQ(frm.ClientID, "newid7");
    EXPECT_NE(files.files["verlisk.cfg"].find("\r\nnewid7\r\n"), std::string::npos);
    // A title is sent as it is; an identifier typed away goes out empty and the stored one stays.
    frm.AircraftTitle = "A&B=C";
    view.texts[Control::txtClientID] = "   ";
    Fly(3600, 100, 0);
    EXPECT_EQ(inet.requests[2].body,
              "TL=A&B=C&PPH=100&VERSION=2.0.27&ZFW=1950&MTANK=336&CLIENTID=");
    EXPECT_NE(files.files["verlisk.cfg"].find("\r\nnewid7\r\n"), std::string::npos);
    EXPECT_EQ(inet.requests[0].url, "http://127.0.0.1:8350/receiver.php");
    EXPECT_EQ(inet.requests[0].method, "POST");
    EXPECT_EQ(inet.requests[0].headers, "Content-Type: application/x-www-form-urlencoded \r\n");
}

struct UploadCase {
    std::optional<std::string> answer;
    const char* title;
    const char* text;
    const char* panel;
    std::string log;  // the last line
    bool retry;
};

class Uploads : public Session, public ::testing::WithParamInterface<UploadCase> {};

TEST_P(Uploads, OutcomeShownLoggedAndLeftInTheButtons) {
    const auto& c = GetParam();
    Answer(c.answer);
    Fly(3600, 100, 0);
    ASSERT_EQ(view.boxes.size(), 2u);
    const bool error = std::string(c.title) == "Error";
    EXPECT_EQ(view.boxes[1], (testing::Box{c.text, c.title, MsgButtons::Ok,
                                           error ? MsgIcon::Critical : MsgIcon::None, false}));
    EXPECT_EQ(view.panels[3], c.panel);
    const std::string log = Log();
    EXPECT_EQ(log.substr(log.size() - c.log.size()), c.log);
    EXPECT_EQ(frm.ServerResponse, c.retry ? "-2" : Trim(c.answer.value_or("")));
    EXPECT_EQ(State(), c.retry ? testing::kRetryPending : testing::kIdle);
    EXPECT_EQ(files.files.count("verlisk.cfg"), 1u);
}

const char* kTimeOut = "Unable to connect to the server - wait a few minutes and try again";

INSTANTIATE_TEST_SUITE_P(Answers, Uploads,
                         ::testing::Values(UploadCase{"  OK+OK+OK  ", "Thanks!",
                                                      "Fuel report submitted", "connecting...0",
                                                      ": fuel report submitted ok\r\n", false},
                                           UploadCase{"ok+ok+ok", "Error", "ok+ok+ok", "resp err",
                                                      ": [ok+ok+ok]\r\n", false},
                                           UploadCase{std::nullopt, "", kTimeOut, "connecting...31",
                                                      "&CLIENTID=\r\n", true}));

TEST_F(Session, RetryAfterATimeOutCountsOnlyTheNewRequestsAnswer) {
    Answer(std::nullopt);
    Fly(3600, 100, 0);
    ASSERT_EQ(frm.ServerResponse, "-2");
    // The first request answers late, during the second upload; only the second counts.
    clock.Advance(3600 - 31);
    view.onEvents = [&] {
        if (!inet.answer.empty()) return;
        inet.answer = "OK+OK+OK";
        frm.OnInetState(1, kResponseCompleted);
        EXPECT_EQ(frm.ServerResponse, "");
        inet.answer = "Report refused: PPH is not a number";
        frm.OnInetState(2, kResponseCompleted);
    };
    files.files.erase("log.txt");
    view.doEvents = 0;
    frm.cmdStop_Click();
    EXPECT_EQ(view.doEvents, 2);  // a pass of the wait, and one after the answer's only piece
    EXPECT_EQ(inet.requests.size(), 2u);
    EXPECT_EQ(view.boxes.back().text, "Report refused: PPH is not a number");
    EXPECT_EQ(inet.pieces, (std::vector<std::size_t>{1024, 1024}));
    // Computed again to the new moment: 100 pounds in two hours.
    EXPECT_NE(Log().find("Time Enroute (hours)       : 2\r\n"), std::string::npos) << Log();
    EXPECT_NE(Log().find("Fuelage (pounds per hour)  : 50\r\n"), std::string::npos);
}

}  // namespace
}  // namespace verlisk
