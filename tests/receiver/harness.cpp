#include "harness.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <httplib.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "receiver/sql.h"

namespace verlisk::receiver::testing {

std::size_t Occurrences(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

::testing::AssertionResult Has(const std::string& text, const std::string& part) {
    if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "no \"" << part << "\" in:\n" << text;
}

std::pair<int, std::string> Shell(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    char buf[4096];
    for (std::size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    return {WEXITSTATUS(pclose(p)), out};
}

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "verlisk-test.XXXXXX").string();
    path = mkdtemp(tmpl.data());
    std::filesystem::permissions(path, std::filesystem::perms::all);
}

TempDir::~TempDir() { std::filesystem::remove_all(path); }

std::string FreshDatabase(bool postgres, const TempDir& dir) {
    if (!postgres) return dir.path + "/reports.sqlite";
    const char* state = std::getenv("VERLISK_PG_STATE");
    if (!state) return "";
    std::string url;
    std::ifstream(std::string(state) + "/conninfo") >> url;
    OpenPostgres(url)->Session(true)->Run("DROP TABLE IF EXISTS reports, receiver_schema");
    return url;
}

std::string Receiver::Log() const {
    std::ifstream in(logDir_.path + "/log");
    return std::string(std::istreambuf_iterator<char>(in), {});
}

::testing::AssertionResult Receiver::Logged(const std::string& pattern) const {
    for (int i = 0; i < 100; ++i) {
        if (std::regex_search(Log(), std::regex(pattern))) return ::testing::AssertionSuccess();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return ::testing::AssertionFailure() << "no /" << pattern << "/ in:\n" << Log();
}

Receiver::Receiver(const std::string& db, bool asNobody, long fileSizeLimit) {
    const int log = open((logDir_.path + "/log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const bool drop = asNobody && getuid() == 0;
    // The build tree may be out of an unprivileged user's reach; a copy here is not.
    const std::string binary = drop ? logDir_.path + "/verlisk-receiver" : VERLISK_RECEIVER_BINARY;
    if (drop) std::filesystem::copy_file(VERLISK_RECEIVER_BINARY, binary);
    pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);  // none left behind by a test that is killed
        dup2(log, STDERR_FILENO);
        if (drop && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(120);
        const rlimit limit{static_cast<rlim_t>(fileSizeLimit), static_cast<rlim_t>(fileSizeLimit)};
        if (fileSizeLimit) setrlimit(RLIMIT_FSIZE, &limit);
        signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead of killing
        execl(binary.c_str(), "verlisk-receiver", "--listen", "127.0.0.1:0", "--db", db.c_str(),
              nullptr);
        std::perror(binary.c_str());
        _exit(127);
    }
    close(log);
    const std::string mark = "listening on http://127.0.0.1:";
    for (int i = 0; i < 200 && port == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const auto text = Log();
        if (const auto at = text.find(mark); at != std::string::npos) {
            port = std::stoi(text.substr(at + mark.size()));
        }
    }
    if (port == 0) throw std::runtime_error("the receiver did not start: " + Log());
}

Receiver::~Receiver() {
    if (pid > 0) Stop(SIGKILL);
}

int Receiver::Stop(int signal) {
    kill(pid, signal);
    int status = 0;
    waitpid(pid, &status, 0);
    pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

Answer Receiver::Send(const std::string& raw, std::size_t splitAt,
                      const std::function<void()>& atSplit) const {
    const int sock = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{
        AF_INET, htons(static_cast<std::uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    connect(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    // A refused upload may be cut off while it is sent; the answer still counts.
    const auto sendPart = [&](std::size_t from, std::size_t to) {
        for (ssize_t r = 0; from < to && r >= 0; from += static_cast<std::size_t>(r)) {
            r = send(sock, raw.data() + from, to - from, MSG_NOSIGNAL);
        }
    };
    const auto split = std::min(splitAt, raw.size());
    sendPart(0, split);
    if (split < raw.size() && !atSplit) return close(sock), Answer{};
    if (atSplit) atSplit();
    sendPart(split, raw.size());
    std::string in;
    char buf[4096];
    for (ssize_t r; (r = recv(sock, buf, sizeof buf, 0)) > 0;)
        in.append(buf, static_cast<std::size_t>(r));
    close(sock);
    Answer a;
    const auto end = in.find("\r\n\r\n");
    std::istringstream(in) >> a.head >> a.status;
    a.head = in.substr(0, end + 2);
    if (end != std::string::npos) a.body = in.substr(end + 4);
    return a;
}

Answer Receiver::Post(const std::string& body) const {
    // The program's own header line ends in a blank.
    return Send(
        "POST /receiver.php HTTP/1.1\r\nHost: 127.0.0.1\r\n"
        "Content-Type: application/x-www-form-urlencoded \r\nContent-Length: " +
        std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
}

Answer Receiver::Get(const std::string& path) const {
    const auto res = httplib::Client("127.0.0.1", port).Get(path.c_str());
    return res ? Answer{res->status, "", res->body} : Answer{};
}

}  // namespace verlisk::receiver::testing
