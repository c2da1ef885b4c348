#pragma once

#include <gtest/gtest.h>
#include <signal.h>

#include <functional>
#include <string>

namespace verlisk::receiver::testing {

inline const std::string kExample =
    "TL=Sample_Aircraft&PPH=52.5&VERSION=2.0.27&ZFW=1950&MTANK=336&CLIENTID=abcd2345";

std::size_t Occurrences(const std::string& text, const std::string& what);
// Whether `text` holds `part`; when not, the failure shows both.
::testing::AssertionResult Has(const std::string& text, const std::string& part);

// A shell command's exit status and what it printed on stdout.
std::pair<int, std::string> Shell(const std::string& command);

// A folder that goes, with what it holds, at the end; anyone may write in it.
struct TempDir {
    TempDir();
    ~TempDir();
    std::string path;
};

// A database for one test: a SQLite file in `dir`, or the live tests' PostgreSQL
// cluster emptied; "" when there is no cluster (outside the live tests).
std::string FreshDatabase(bool postgres, const TempDir& dir);

struct Answer {
    int status = 0;
    std::string head;  // the status line and the headers, each ending in CR LF
    std::string body;
};

// The built verlisk-receiver on a free loopback port, its log kept in a file.
class Receiver {
  public:
    // As an unprivileged user when the tests run as root, so that file modes count; with
    // a limit on the bytes it may write to a file, for a full disk.
    explicit Receiver(const std::string& db, bool asNobody = false, long fileSizeLimit = 0);
    ~Receiver();

    // Sends the bytes as they are and reads the answer up to the end of the connection.
    // With `splitAt`, runs `atSplit` after that many bytes and then sends the rest, or
    // without it hangs up there.
    Answer Send(const std::string& raw, std::size_t splitAt = std::string::npos,
                const std::function<void()>& atSplit = {}) const;
    // As the program posts a report.
    Answer Post(const std::string& body) const;
    Answer Get(const std::string& path) const;
    // The exit status, or 128 + the signal that ended it.
    int Stop(int signal = SIGTERM);
    std::string Log() const;
    // Whether the log comes to match the pattern: a line is written just after its answer.
    ::testing::AssertionResult Logged(const std::string& pattern) const;

    int port = 0;
    pid_t pid = -1;

  private:
    TempDir logDir_;
};

}  // namespace verlisk::receiver::testing
