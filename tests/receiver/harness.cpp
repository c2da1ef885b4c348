#include "harness.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <httplib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "receiver/sql.h"

namespace verlisk::receiver::testing {

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
    if (url.empty()) throw std::runtime_error("the PostgreSQL cluster did not start");
    OpenPostgres(url)->Session(true)->Run("DROP TABLE IF EXISTS reports, receiver_schema");
    return url;
}

std::string Receiver::Log() const {
    std::ifstream in(logDir_.path + "/log");
    return std::string(std::istreambuf_iterator<char>(in), {});
}

Receiver::Receiver(const Setup& s) {
    const int log = open((logDir_.path + "/log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const bool drop = s.asNobody && getuid() == 0;
    // The build tree may be out of an unprivileged user's reach; a copy here is not.
    std::string binary = VERLISK_RECEIVER_BINARY;
    if (drop) {
        const auto copy = logDir_.path + "/verlisk-receiver";
        std::filesystem::copy_file(binary, copy);
        binary = copy;
    }
    pid_ = fork();
    if (pid_ == 0) {
        dup2(log, STDOUT_FILENO);
        dup2(log, STDERR_FILENO);
        if (drop && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(120);
        if (s.fileSizeLimit) {
            const rlimit limit{static_cast<rlim_t>(s.fileSizeLimit),
                               static_cast<rlim_t>(s.fileSizeLimit)};
            setrlimit(RLIMIT_FSIZE, &limit);
            signal(SIGXFSZ, SIG_IGN);  // a write past it fails instead of killing
        }
        execl(binary.c_str(), "verlisk-receiver", "--listen", "127.0.0.1:0", "--db", s.db.c_str(),
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
    if (port == 0) {
        Stop(SIGKILL);
        throw std::runtime_error("the receiver did not start: " + Log());
    }
}

Receiver::~Receiver() {
    if (pid_ > 0) Stop(SIGKILL);
}

void Receiver::Signal(int signal) const { kill(pid_, signal); }

int Receiver::Stop(int signal) {
    Signal(signal);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

Answer Receiver::Send(const std::string& raw, std::size_t splitAt,
                      const std::function<void()>& atSplit) const {
    const int sock = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    Answer a;
    if (connect(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        const auto sendPart = [&](std::size_t from, std::size_t to) {
            // A refused upload may be cut off while it is sent; the answer still counts.
            while (from < to) {
                const auto r = send(sock, raw.data() + from, to - from, MSG_NOSIGNAL);
                if (r <= 0) break;
                from += static_cast<std::size_t>(r);
            }
        };
        const auto split = std::min(splitAt, raw.size());
        sendPart(0, split);
        if (split < raw.size()) {
            if (!atSplit) {
                close(sock);
                return a;
            }
            atSplit();
            sendPart(split, raw.size());
        }
        std::string in;
        char buf[4096];
        for (ssize_t r; (r = recv(sock, buf, sizeof buf, 0)) > 0;)
            in.append(buf, static_cast<std::size_t>(r));
        std::istringstream head(in.substr(0, in.find("\r\n\r\n")));
        std::string version, line;
        head >> version >> a.status;
        while (std::getline(head, line)) {
            if (line.ends_with('\r')) line.pop_back();
            if (line.starts_with("Content-Type: ")) a.contentType = line.substr(14);
        }
        if (const auto end = in.find("\r\n\r\n"); end != std::string::npos)
            a.body = in.substr(end + 4);
    }
    close(sock);
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
    httplib::Client client("127.0.0.1", port);
    const auto res = client.Get(path.c_str());
    if (!res) return {};
    return {res->status, res->get_header_value("Content-Type"), res->body};
}

}  // namespace verlisk::receiver::testing
