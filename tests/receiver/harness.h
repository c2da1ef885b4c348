// What the receiver's tests share: a folder, a database and the built receiver on loopback.
#pragma once

#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <httplib.h>
#include <sys/prctl.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <thread>

#include "receiver/sql.h"

namespace verlisk::receiver::testing {

using ::testing::HasSubstr;
using ::testing::Not;

// The example report, or the report with the fields given changed.
inline std::string Body(const std::string& tl = "Sample_Aircraft", const std::string& pph = "52.5",
                        const std::string& zfw = "1950", const std::string& mtank = "336",
                        const std::string& client = "abcd2345",
                        const std::string& version = "2.0.27") {
    return "TL=" + tl + "&PPH=" + pph + "&VERSION=" + version + "&ZFW=" + zfw + "&MTANK=" + mtank +
           "&CLIENTID=" + client;
}
inline const std::string kExample = Body();
inline const std::string kOk = "OK+OK+OK";
inline const std::string kNotStored =
    "Report not stored: the receiver's database is unavailable, try again later";

inline const std::string kForm = "application/x-www-form-urlencoded";

// A request written out whole: `typeAndMore` is the Content-Type and any header lines after
// it; an empty `length` sends no Content-Length. Without a body the client asks for the end;
// with one, a receiver that leaves it unread must end the connection itself.
inline std::string Raw(const std::string& body, const std::string& start = "POST /receiver.php",
                       const std::string& typeAndMore = kForm, const char* length = nullptr) {
    const std::string n = length ? length : std::to_string(body.size());
    return start + " HTTP/1.1\r\nHost: x\r\nContent-Type: " + typeAndMore + "\r\n" +
           (n.empty() ? "" : "Content-Length: " + n + "\r\n") +
           (body.empty() ? "Connection: close\r\n" : "") + "\r\n" + body;
}

inline std::size_t Occurrences(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// A shell command's exit status and what it printed on stdout.
inline std::pair<int, std::string> Shell(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    char buf[4096];
    for (std::size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    return {WEXITSTATUS(pclose(p)), out};
}

// A folder that goes, with what it holds, at the end; anyone may write in it.
struct TempDir {
    std::string path =
        mkdtemp((std::filesystem::temp_directory_path() / "verlisk-test.XXXXXX").string().data());
    TempDir() { std::filesystem::permissions(path, std::filesystem::perms::all); }
    ~TempDir() { std::filesystem::remove_all(path); }
};

// The same cases against a SQLite file and, in the live tests, the PostgreSQL cluster emptied.
class EachDatabase : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        const char* state = std::getenv("VERLISK_PG_STATE");
        if (GetParam() && !state) GTEST_SKIP() << "PostgreSQL cases run in the live tests";
        db_ = dir_.path + "/reports.sqlite";
        if (!GetParam()) return;
        std::ifstream(std::string(state) + "/conninfo") >> db_;
        OpenPostgres(db_)->Session(true)->Run("DROP TABLE IF EXISTS reports, receiver_schema");
    }
    TempDir dir_;
    std::string db_;
};

struct Answer {
    int status = 0;
    std::string head;  // the status line and the headers, each ending in CR LF
    std::string body;
};

// The built verlisk-receiver on a free loopback port, its log kept in a file.
class Receiver {
  public:
    // `wrap` runs it through a command such as setpriv or prlimit, for a file mode that
    // counts or a full disk; a write past a size limit fails instead of killing.
    explicit Receiver(const std::string& db, const std::string& wrap = "") {
        // A copy, for the build tree may be out of an unprivileged user's reach.
        std::filesystem::copy_file(VERLISK_RECEIVER_BINARY, dir_.path + "/verlisk-receiver");
        const auto command = "trap '' XFSZ; exec " + wrap + " " + dir_.path +
                             "/verlisk-receiver --listen 127.0.0.1:0 --db '" + db + "' 2>" +
                             dir_.path + "/log";
        if ((pid = fork()) == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);  // none left behind by a test that is killed
            execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
            _exit(127);
        }
        const std::string mark = "listening on http://127.0.0.1:";
        if (!Logged(mark)) throw std::runtime_error("the receiver did not start: " + Log());
        port = std::stoi(Log().substr(Log().find(mark) + mark.size()));
    }
    ~Receiver() {
        if (pid > 0) Stop(SIGKILL);
    }

    // The exit status, or 128 + the signal that ended it.
    int Stop(int signal = SIGTERM) {
        kill(pid, signal);
        int status = 0;
        waitpid(pid, &status, 0);
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    // Sends the bytes as they are and reads the answer up to the end of the connection, or
    // hangs up without it; `connected` runs before anything is sent.
    Answer Send(const std::string& raw, const std::function<void()>& connected = {},
                bool hangUp = false) const {
        const int sock = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{AF_INET, htons(static_cast<uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
        connect(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        if (connected) connected();
        // A refused upload may be cut off while it is sent; the answer still counts.
        for (ssize_t r = 0, at = 0; at < std::ssize(raw) && r >= 0; at += r) {
            r = send(sock, raw.data() + at, raw.size() - at, MSG_NOSIGNAL);
        }
        if (hangUp) return close(sock), Answer{};
        std::string in;
        char buf[4096];
        for (ssize_t r; (r = recv(sock, buf, sizeof buf, 0)) > 0;) in.append(buf, r);
        close(sock);
        const auto end = in.find("\r\n\r\n");
        return {std::atoi(in.substr(in.find(' ') + 1).c_str()), in.substr(0, end + 2),
                end == std::string::npos ? "" : in.substr(end + 4)};
    }
    // As the program posts a report, its header line ending in a blank.
    Answer Post(const std::string& body) const {
        return Send(Raw(body, "POST /receiver.php", kForm + " \r\nConnection: close"));
    }
    Answer Get(const std::string& path) const {
        const auto res = httplib::Client("127.0.0.1", port).Get(path.c_str());
        return res ? Answer{res->status, "", res->body} : Answer{};
    }

    std::string Log() const {
        std::ifstream in(dir_.path + "/log");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // Whether the log comes to match the pattern: a line is written just after its answer.
    ::testing::AssertionResult Logged(const std::string& pattern) const {
        for (int i = 0; i < 500; ++i) {
            if (std::regex_search(Log(), std::regex(pattern))) return ::testing::AssertionSuccess();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return ::testing::AssertionFailure() << "no /" << pattern << "/ in:\n" << Log();
    }

    int port = 0;
    pid_t pid = -1;

  private:
    TempDir dir_;
};

}  // namespace verlisk::receiver::testing
