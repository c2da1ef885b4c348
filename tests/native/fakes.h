#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "app/form_view.h"
#include "app/frm_start.h"
#include "common/ports.h"
#include "common/version.h"
#include "fake_module.h"
#include "reporting/http_client.h"
#include "simlink/fsuipc.h"

namespace verlisk::testing {

// en-US (M/d/yyyy h:mm:ss tt), with "." or "," as the decimal separator.
class FakeRegional : public RegionalSettings {
  public:
    explicit FakeRegional(bool commaDecimal = false) : comma_(commaDecimal) {}
    std::string DecimalSeparator() override { return comma_ ? "," : "."; }
    std::string ShortDate(const DateTime& t) override {
        return std::to_string(t.month) + "/" + std::to_string(t.day) + "/" + std::to_string(t.year);
    }
    std::string LongTime(const DateTime& t) override {
        auto two = [](int v) { return (v < 10 ? "0" : "") + std::to_string(v); };
        const int h12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
        return std::to_string(h12) + ":" + two(t.minute) + ":" + two(t.second) +
               (t.hour < 12 ? " AM" : " PM");
    }

  private:
    bool comma_;
};

class FakeClock : public Clock {
  public:
    DateTime now{2026, 12, 4, 19, 35, 12, 250};
    DateTime Now() override { return now; }
    void Advance(std::int64_t seconds) { now = AddSeconds(now, seconds); }
};

// An in-memory working directory with the faults a real one can have.
class FakeFiles : public FileSystem {
  public:
    std::map<std::string, std::string> files;
    std::set<std::string> directories;
    std::set<std::string> unreadable;  // listed, but cannot be opened
    bool folderReadOnly = false;       // no new file can be created

    bool IsOrdinaryFile(const std::string& n) override { return files.count(n) > 0; }
    std::optional<std::uint64_t> Length(const std::string& n) override {
        if (!files.count(n) || unreadable.count(n)) return std::nullopt;
        return files[n].size();
    }
    bool Delete(const std::string& n) override {
        if (!files.count(n)) return false;
        files.erase(n);
        return true;
    }
    std::optional<std::string> ReadAll(const std::string& n) override {
        if (!files.count(n) || unreadable.count(n)) return std::nullopt;
        return files[n];
    }
    bool WriteAll(const std::string& n, std::string_view b) override {
        if (!Writable(n)) return false;
        files[n] = std::string(b);
        return true;
    }
    bool Append(const std::string& n, std::string_view b) override {
        if (!Writable(n)) return false;
        files[n] += b;
        return true;
    }

  private:
    bool Writable(const std::string& n) {
        if (directories.count(n)) return false;
        return files.count(n) || !folderReadOnly;
    }
};

// Records every change to the window; answers message boxes from a script.
class FakeView : public FormView {
  public:
    struct Box {
        std::string text, title;
        MsgButtons buttons;
        MsgIcon icon;
        bool yesDefault;
        bool operator==(const Box&) const = default;
        friend std::ostream& operator<<(std::ostream& o, const Box& b) {
            return o << '"' << b.title << "\" \"" << b.text << "\" buttons " << int(b.buttons)
                     << " icon " << int(b.icon) << (b.yesDefault ? " yes-default" : "");
        }
    };
    std::map<Control, std::string> texts;
    std::map<Control, bool> enabled{{Control::cmdStart, true}, {Control::cmdStop, false}};
    int doEvents = 0;
    std::map<Control, layout::Color> colors;
    std::map<int, std::string> panels;
    std::vector<std::string> events;  // in order, for sequence checks
    std::vector<Box> boxes;
    std::deque<MsgResult> answers;
    bool unloaded = false;

    void SetText(Control c, const std::string& t) override {
        texts[c] = t;
        events.push_back("text " + std::to_string(static_cast<int>(c)));
    }
    std::string GetText(Control c) override { return texts[c]; }
    void SetEnabled(Control c, bool e) override { enabled[c] = e; }
    void SetForeColor(Control c, layout::Color color) override { colors[c] = color; }
    void SetPanelText(int p, const std::string& t) override {
        panels[p] = t;
        events.push_back("panel " + std::to_string(p) + " " + t);
    }
    void SetTimerEnabled(Timer t, bool e) override {
        events.push_back("timer " + std::to_string(static_cast<int>(t)) + (e ? " on" : " off"));
    }
    MsgResult ShowMessage(const std::string& text, const std::string& title, MsgButtons b,
                          MsgIcon i, bool yesDefault) override {
        boxes.push_back({text, title, b, i, yesDefault});
        events.push_back("box");
        if (onBox) onBox();
        if (answers.empty()) return b == MsgButtons::YesNo ? MsgResult::Yes : MsgResult::Ok;
        auto a = answers.front();
        answers.pop_front();
        return a;
    }
    void DoEvents() override {
        ++doEvents;
        if (onEvents) onEvents();
    }
    void WaitForEvents(std::uint32_t ms) override {
        waited += ms;
        if (onWait) onWait();
    }
    void Unload() override {
        unloaded = true;
        events.push_back("unload");
    }
    // Runs while a box is open, as timer ticks would.
    std::function<void()> onBox;
    // Run when pending events are let through, and while the program waits for them.
    std::function<void()> onEvents, onWait;
    std::uint32_t waited = 0;
};

// Records each request; hands out a scripted answer in pieces.
class FakeInet : public HttpClient {
  public:
    struct Request {
        std::string url, method, body, headers;
    };
    std::vector<Request> requests;
    std::string answer;
    std::vector<std::size_t> pieces;  // the sizes asked for

    void Execute(std::uint32_t, const std::string& url, const std::string& method,
                 const std::string& body, const std::string& headers) override {
        requests.push_back({url, method, body, headers});
        at_ = 0;
    }
    std::string GetChunk(std::size_t maxChars) override {
        pieces.push_back(maxChars);
        const std::string piece = answer.substr(std::min(at_, answer.size()), maxChars);
        at_ += piece.size();
        return piece;
    }

  private:
    std::size_t at_ = 0;
};

struct ProcessEnded : std::runtime_error {
    ProcessEnded() : std::runtime_error("process ended") {}
};

class FakeProcess : public ProcessControl {
  public:
    [[noreturn]] void EndProcess() override { throw ProcessEnded(); }
};

// A main window wired to fakes: files, clock, en-US settings, module and process.
struct FrmFixture : ::testing::Test {
    FakeView view;
    FakeFiles files;
    FakeClock clock;
    FakeRegional regional;
    FakeProcess process;
    FakeModule module;
    FsuipcLink link{module};
    FakeInet inet;
    FrmStart frm{{view, files, clock, regional, process, link, inet}};

    std::string Log() { return files.files["log.txt"]; }
    // The session's state as its table gives it: Phase, the enabled buttons, panel 2.
    std::string State() {
        return std::to_string(frm.Phase) + (view.enabled[Control::cmdStart] ? " START" : "") +
               (view.enabled[Control::cmdStop] ? " STOP" : "") + " " + view.panels[2];
    }
};
using Box = FakeView::Box;
inline const char *kIdle = "0 START STOPPED", *kRunning = "1 STOP RUNNING",
                  *kRetryPending = "0 STOP STOPPED";

// Log lines stamped with the fake clock's time in the en-US format.
inline std::string LogLines(std::initializer_list<std::string> lines) {
    std::string s;
    for (const auto& l : lines) s += "12/4/2026 7:35:12 PM: " + l + "\r\n";
    return s;
}

}  // namespace verlisk::testing
