// verlisk-http-peer: a scripted HTTP server on 127.0.0.1 for trying the report upload
// against every way a server can behave. It listens on a free port and writes it to
// PORTFILE (or on the port given as :N), answers each connection the same way and
// appends the raw request to request.txt in its working folder.
//   verlisk-http-peer PORTFILE answer TEXT     200 with TEXT (\r and \n understood)
//   verlisk-http-peer PORTFILE status N TEXT   status N with TEXT
//   verlisk-http-peer PORTFILE big BYTES       200 with an HTML page of that size
//   verlisk-http-peer PORTFILE empty           200 with an empty body
//   verlisk-http-peer PORTFILE trickle TEXT    TEXT one byte a second
//   verlisk-http-peer PORTFILE reset           half a body, then the connection reset
//   verlisk-http-peer PORTFILE hang            reads the request, never answers
#include <winsock2.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

namespace {

std::string Unescape(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size() && (s[i + 1] == 'r' || s[i + 1] == 'n')) {
            out += s[++i] == 'r' ? '\r' : '\n';
        } else {
            out += s[i];
        }
    }
    return out;
}

void SendAll(SOCKET s, const std::string& data) {
    for (std::size_t at = 0; at < data.size();) {
        const int n = send(s, data.data() + at, static_cast<int>(data.size() - at), 0);
        if (n <= 0) return;
        at += static_cast<std::size_t>(n);
    }
}

// The whole request: headers, then as many body bytes as Content-Length says.
std::string ReadRequest(SOCKET s) {
    std::string r;
    char buf[4096];
    std::size_t want = std::string::npos;
    while (want == std::string::npos || r.size() < want) {
        const int n = recv(s, buf, sizeof buf, 0);
        if (n <= 0) break;
        r.append(buf, static_cast<std::size_t>(n));
        const auto end = r.find("\r\n\r\n");
        if (want == std::string::npos && end != std::string::npos) {
            const auto cl = r.find("Content-Length:");
            want = end + 4 + (cl < end ? std::strtoul(r.c_str() + cl + 15, nullptr, 10) : 0);
        }
    }
    return r;
}

std::string Response(int status, const std::string& body) {
    return "HTTP/1.1 " + std::to_string(status) + " Scripted\r\nContent-Type: text/plain\r\n" +
           "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
           body;
}

void Serve(SOCKET s, int argc, char** argv) {
    const std::string request = ReadRequest(s);
    std::ofstream("request.txt", std::ios::binary | std::ios::app) << request;
    const std::string mode = argv[2];
    const std::string arg = argc > 3 ? Unescape(argv[3]) : "";
    if (mode == "answer") {
        SendAll(s, Response(200, arg));
    } else if (mode == "status") {
        SendAll(s, Response(std::atoi(argv[3]), argc > 4 ? Unescape(argv[4]) : ""));
    } else if (mode == "big") {
        const std::size_t n = std::strtoul(argv[3], nullptr, 10);
        std::string page = "<html><body>" + std::string(n > 26 ? n - 26 : 0, 'x');
        SendAll(s, Response(500, (page + "</body></html>").substr(0, n)));
    } else if (mode == "empty") {
        SendAll(s, Response(200, ""));
    } else if (mode == "trickle") {
        const std::string r = Response(200, arg);
        const auto head = r.size() - arg.size();
        SendAll(s, r.substr(0, head));
        for (char c : arg) {
            Sleep(1000);
            SendAll(s, std::string(1, c));
        }
    } else if (mode == "reset") {
        SendAll(s, Response(200, std::string(2000, 'x')).substr(0, 1000));
        Sleep(200);
        linger hard{1, 0};  // closing with a zero linger sends a reset
        setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof hard);
    } else if (mode == "hang") {
        Sleep(INFINITE);
    }
    closesocket(s);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: verlisk-http-peer PORTFILE MODE [ARGS] (see the source)\n");
        return 2;
    }
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool fixedPort = argv[1][0] == ':';
    if (fixedPort) addr.sin_port = htons(static_cast<u_short>(std::atoi(argv[1] + 1)));
    int len = sizeof addr;
    if (bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(listener, SOMAXCONN) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        std::fprintf(stderr, "verlisk-http-peer: cannot listen\n");
        return 1;
    }
    if (!fixedPort) std::ofstream(argv[1]) << ntohs(addr.sin_port);
    for (;;) {
        SOCKET s = accept(listener, nullptr, nullptr);
        if (s == INVALID_SOCKET) break;
        std::thread(Serve, s, argc, argv).detach();
    }
    return 0;
}
