#include "reporting/win32/winhttp_client.h"

#include <algorithm>
#include <mutex>
#include <string>

#include "common/version.h"
#include "common/win32/win32_text.h"

namespace verlisk::win32 {

namespace {
// An answer larger than this is not a receiver's: reading stops and the request
// counts as unanswered rather than let a rude server fill the memory.
constexpr std::size_t kMaxAnswer = 16 * 1024 * 1024;
constexpr DWORD kReadSize = 64 * 1024;
// A server that accepts and then stays silent is given up after this; the uploader
// has told the pilot long before.
constexpr int kTimeoutMs = 60000;
}  // namespace

// What the window's thread and WinHTTP's threads share, kept alive by every request
// that may still call back, so that a late callback never meets a freed object.
struct WinHttpClient::Shared {
    std::mutex lock;
    HWND window = nullptr;
    UINT message = 0;
    std::uint32_t current = 0;  // the generation whose answer counts
    std::string answer;         // its body, once complete
    std::size_t handedOut = 0;
};

namespace {

// One request as WinHTTP's threads see it: the body (which must live until it has
// been sent) and what has been read so far. Freed when its handle has closed.
struct Request {
    std::shared_ptr<WinHttpClient::Shared> shared;
    std::uint32_t generation = 0;
    std::string body;
    std::string answer;
    // Each step happens once, even if WinHTTP reports a state twice.
    bool reading = false, completed = false;
    char buffer[kReadSize];
};

void Complete(Request& r) {
    if (r.completed) return;
    r.completed = true;
    auto& s = *r.shared;
    std::lock_guard<std::mutex> guard(s.lock);
    if (r.generation != s.current) return;
    s.answer = std::move(r.answer);
    s.handedOut = 0;
    if (s.window) {
        PostMessageW(s.window, s.message, r.generation, static_cast<LPARAM>(kResponseCompleted));
    }
}

// Runs on WinHTTP's threads. A failure anywhere simply ends the exchange: no answer
// reaches the window, and the uploader's wait tells the pilot.
void CALLBACK OnStatus(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info,
                       DWORD length) {
    auto* r = reinterpret_cast<Request*>(context);
    if (!r) return;
    switch (status) {
        case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
            WinHttpReceiveResponse(handle, nullptr);
            break;
        case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
            // Whatever the status code: a refusal's text is the pilot's to read.
            if (!r->reading) {
                r->reading = true;
                WinHttpReadData(handle, r->buffer, kReadSize, nullptr);
            }
            break;
        case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
            if (length == 0) {
                Complete(*r);
            } else if (r->answer.size() + length <= kMaxAnswer) {
                r->answer.append(static_cast<const char*>(info), length);
                WinHttpReadData(handle, r->buffer, kReadSize, nullptr);
            }
            break;
        case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING:
            delete r;
            break;
        default:
            break;
    }
}

}  // namespace

namespace {
// The proxy a browser on this machine would use. Most pilots set one, if at all, in the
// Internet Options of their own account, which WinHTTP does not read by itself. As a
// browser does, automatic configuration (detection or a script) comes first: WinHTTP's
// automatic proxy follows the account's settings (Windows 8.1 and later). A manual proxy
// is taken as it stands; with neither, or where the automatic proxy is not offered, the
// machine-wide setting.
HINTERNET Open(DWORD access, LPCWSTR proxy = WINHTTP_NO_PROXY_NAME,
               LPCWSTR bypass = WINHTTP_NO_PROXY_BYPASS) {
    return WinHttpOpen(L"" VERLISK_NAME, access, proxy, bypass, WINHTTP_FLAG_ASYNC);
}

HINTERNET OpenSession() {
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG ie{};
    HINTERNET session = nullptr;
    if (WinHttpGetIEProxyConfigForCurrentUser(&ie)) {
        if (ie.fAutoDetect || ie.lpszAutoConfigUrl) {
            session = Open(WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY);
        }
        if (!session && ie.lpszProxy && *ie.lpszProxy) {
            session = Open(WINHTTP_ACCESS_TYPE_NAMED_PROXY, ie.lpszProxy,
                           ie.lpszProxyBypass ? ie.lpszProxyBypass : WINHTTP_NO_PROXY_BYPASS);
        }
        for (LPWSTR text : {ie.lpszAutoConfigUrl, ie.lpszProxy, ie.lpszProxyBypass}) {
            if (text) GlobalFree(text);
        }
    }
    return session ? session : Open(WINHTTP_ACCESS_TYPE_DEFAULT_PROXY);
}
}  // namespace

WinHttpClient::WinHttpClient() : shared_(std::make_shared<Shared>()) {
    session_ = OpenSession();
    if (session_) WinHttpSetTimeouts(session_, kTimeoutMs, kTimeoutMs, kTimeoutMs, kTimeoutMs);
}

WinHttpClient::~WinHttpClient() {
    EndRequest();
    if (session_) WinHttpCloseHandle(session_);
}

void WinHttpClient::NotifyWindow(HWND window, UINT message) {
    std::lock_guard<std::mutex> guard(shared_->lock);
    shared_->window = window;
    shared_->message = message;
}

void WinHttpClient::EndRequest() {
    {
        std::lock_guard<std::mutex> guard(shared_->lock);
        shared_->current = 0;  // a late answer of the ended request no longer counts
        shared_->answer.clear();
        shared_->handedOut = 0;
    }
    if (request_) WinHttpCloseHandle(request_);
    if (connection_) WinHttpCloseHandle(connection_);
    request_ = connection_ = nullptr;
}

void WinHttpClient::Execute(std::uint32_t generation, const std::string& url,
                            const std::string& method, const std::string& body,
                            const std::string& headers) {
    EndRequest();
    {
        std::lock_guard<std::mutex> guard(shared_->lock);
        shared_->current = generation;
    }
    const std::wstring wideUrl = Widen(url);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength =
        static_cast<DWORD>(-1);
    if (!session_ || !WinHttpCrackUrl(wideUrl.c_str(), 0, 0, &parts)) return;
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    const std::wstring path = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
                              std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength);

    connection_ = WinHttpConnect(session_, host.c_str(), parts.nPort, 0);
    if (!connection_) return;
    request_ = WinHttpOpenRequest(connection_, Widen(method).c_str(), path.c_str(), nullptr,
                                  WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                  parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0);
    if (!request_) return;
    auto* r = new Request;
    r->shared = shared_;
    r->generation = generation;
    r->body = body;
    // From here the request handle owns r: it is freed when the handle closes.
    DWORD_PTR context = reinterpret_cast<DWORD_PTR>(r);
    WinHttpSetOption(request_, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context);
    if (WinHttpSetStatusCallback(
            request_, OnStatus,
            WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_HANDLES,
            0) == WINHTTP_INVALID_STATUS_CALLBACK) {
        delete r;  // no callback will ever free it
        EndRequest();
        return;
    }
    const std::wstring extra = Widen(headers);
    WinHttpSendRequest(request_, extra.c_str(), static_cast<DWORD>(-1L), r->body.data(),
                       static_cast<DWORD>(r->body.size()), static_cast<DWORD>(r->body.size()),
                       context);
}

std::string WinHttpClient::GetChunk(std::size_t maxChars) {
    std::lock_guard<std::mutex> guard(shared_->lock);
    auto& s = *shared_;
    const std::string piece = s.answer.substr(std::min(s.handedOut, s.answer.size()), maxChars);
    s.handedOut += piece.size();
    return piece;
}

}  // namespace verlisk::win32
