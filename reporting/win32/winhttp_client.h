#pragma once

#include <windows.h>

#include <winhttp.h>

#include <memory>

#include "reporting/http_client.h"

namespace verlisk::win32 {

// The HTTP client on WinHTTP, asynchronous. WinHTTP works on threads of its own; a
// completed response is handed to the window's thread by posting `message` to the
// window (wParam the generation, lParam the state), and only the newest request's
// answer is kept. A request still running when the next starts is ended.
class WinHttpClient : public HttpClient {
  public:
    WinHttpClient();
    ~WinHttpClient() override;
    WinHttpClient(const WinHttpClient&) = delete;
    WinHttpClient& operator=(const WinHttpClient&) = delete;

    // Where completions are posted; until this is called they are dropped.
    void NotifyWindow(HWND window, UINT message);

    void Execute(std::uint32_t generation, const std::string& url, const std::string& method,
                 const std::string& body, const std::string& headers) override;
    std::string GetChunk(std::size_t maxChars) override;

    struct Shared;

  private:
    // Closes the request in flight, if any: only this thread ever closes it, once.
    void EndRequest();
    std::shared_ptr<Shared> shared_;
    HINTERNET session_ = nullptr;
    HINTERNET connection_ = nullptr;
    HINTERNET request_ = nullptr;
};

}  // namespace verlisk::win32
