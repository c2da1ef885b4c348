#pragma once

#include <signal.h>

#include <functional>
#include <string>

namespace verlisk::receiver::testing {

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
    std::string contentType;
    std::string body;
};

// The built verlisk-receiver on a free loopback port, its log kept in a file.
class Receiver {
  public:
    struct Setup {
        std::string db;
        bool asNobody = false;   // when the tests run as root, so that file modes count
        long fileSizeLimit = 0;  // bytes the process may write to a file: a full disk
    };
    explicit Receiver(const Setup& setup);
    ~Receiver();

    // Sends the bytes as they are and reads the answer. With `splitAt`, runs `atSplit`
    // after that many bytes before sending the rest, or without it hangs up there.
    Answer Send(const std::string& raw, std::size_t splitAt = std::string::npos,
                const std::function<void()>& atSplit = {}) const;
    // As the program posts a report.
    Answer Post(const std::string& body) const;
    Answer Get(const std::string& path) const;
    void Signal(int signal) const;
    // The exit status, or 128 + the signal that ended it.
    int Stop(int signal = SIGTERM);
    std::string Log() const;

    int port = 0;

  private:
    TempDir logDir_;
    pid_t pid_ = -1;
};

}  // namespace verlisk::receiver::testing
