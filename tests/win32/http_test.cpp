#include <gtest/gtest.h>

#include <optional>
#include <regex>

#include "app/win32/main_window.h"
#include "reporting/win32/winhttp_client.h"
#include "ui_driver.h"

namespace verlisk {
namespace {

using namespace driver;

// Requests through the real client; completions come to a window of this thread.
struct HttpTest : ::testing::Test {
    win32::WinHttpClient client;
    HWND sink = CreateWindowExW(0, L"STATIC", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                nullptr, nullptr);
    void SetUp() override { client.NotifyWindow(sink, win32::kInetMessage); }
    void TearDown() override { DestroyWindow(sink); }

    // The generations whose answers were completed within the time.
    std::vector<WPARAM> Completions(std::chrono::milliseconds within) {
        std::vector<WPARAM> done;
        const auto end = std::chrono::steady_clock::now() + within;
        while (std::chrono::steady_clock::now() < end) {
            MSG msg;
            while (PeekMessageW(&msg, sink, win32::kInetMessage, win32::kInetMessage, PM_REMOVE)) {
                EXPECT_EQ(msg.lParam, kResponseCompleted);
                done.push_back(msg.wParam);
            }
            if (!done.empty()) break;
            Sleep(20);
        }
        return done;
    }
    std::string Body() {
        std::string all, piece;
        while (!(piece = client.GetChunk(1024)).empty()) all += piece;
        return all;
    }
};

struct AnswerCase {
    const char* name;
    const wchar_t* peer;
    std::optional<std::string> body;  // none: no completed answer arrives
};

class Answers : public HttpTest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(Answers, DeliveredWholeOrNotAtAll) {
    HttpPeer peer(GetParam().peer);
    const std::string report = "TL=Caravelle_\xE9&PPH=52,5&VERSION=2.0.27&ZFW=0&MTANK=0&CLIENTID=";
    client.Execute(7, peer.url(), "POST", report,
                   "Content-Type: application/x-www-form-urlencoded \r\n");
    const auto done = Completions(GetParam().body ? 15s : 4s);
    if (!GetParam().body) {
        EXPECT_TRUE(done.empty());
        return;
    }
    ASSERT_EQ(done, std::vector<WPARAM>{7});
    const std::string body = Body();
    EXPECT_EQ(body.size(), GetParam().body->size());
    EXPECT_TRUE(body == *GetParam().body) << body.substr(0, 80);
    const std::string request = peer.Request();
    EXPECT_EQ(request.rfind("POST /receiver.php HTTP/1.1\r\n", 0), 0u) << request;
    EXPECT_NE(request.find("Content-Type: application/x-www-form-urlencoded"), std::string::npos);
    EXPECT_EQ(request.substr(request.size() - report.size()), report);  // the body as its bytes
}

const std::string kPage = "<html><body>" + std::string(1048576 - 26, 'x') + "</body></html>";

INSTANTIATE_TEST_SUITE_P(
    Peers, Answers,
    ::testing::Values(AnswerCase{"TokenWithSpaces", L"answer \"  OK+OK+OK  \"", "  OK+OK+OK  "},
                      AnswerCase{"Refusal", L"status 400 \"Report refused: PPH is not a number\"",
                                 "Report refused: PPH is not a number"},
                      AnswerCase{"Empty", L"empty", ""},
                      AnswerCase{"MegabyteErrorPage", L"big 1048576", kPage},
                      AnswerCase{"Trickling", L"trickle OK+OK", "OK+OK"},
                      AnswerCase{"ResetMidBody", L"reset", std::nullopt},
                      AnswerCase{"Hanging", L"hang", std::nullopt}),
    [](const auto& i) { return std::string(i.param.name); });

TEST_F(HttpTest, NoServerGivesNoAnswer) {
    std::string url;
    {
        HttpPeer gone(L"empty");
        url = gone.url();
    }  // its port is closed again
    client.Execute(1, url, "POST", "x", "");
    EXPECT_TRUE(Completions(3s).empty());
}

TEST_F(HttpTest, OnlyTheNewestRequestsAnswerCounts) {
    HttpPeer slow(L"trickle OK+OK+OK"), quick(L"answer second");
    client.Execute(1, slow.url(), "POST", "first", "");
    Sleep(500);
    client.Execute(2, quick.url(), "POST", "second", "");
    EXPECT_EQ(Completions(5s), std::vector<WPARAM>{2});
    EXPECT_EQ(Body(), "second");
    EXPECT_TRUE(Completions(10s).empty());  // neither the first, ended, nor the second again
}

// A manual proxy in the pilot's Internet Options carries the report to a host that does
// not resolve. Stored as Windows stores it: magic, counter, flags (2: a manual proxy),
// then the proxy, bypass and script texts, each after its length.
TEST_F(HttpTest, ThePilotsOwnProxyCarriesTheReport) {
    HttpPeer proxy(L"answer OK+OK+OK");
    const std::string hostPort = proxy.url().substr(7, proxy.url().find('/', 7) - 7);
    std::string blob;
    for (const DWORD v : {0x46ul, 1ul, 2ul, static_cast<DWORD>(hostPort.size())}) {
        blob.append(reinterpret_cast<const char*>(&v), 4);
    }
    blob += hostPort + std::string(8, '\0');
    const wchar_t* key =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, key, L"DefaultConnectionSettings", REG_BINARY,
                              blob.data(), static_cast<DWORD>(blob.size())),
              ERROR_SUCCESS);
    win32::WinHttpClient viaProxy;
    RegDeleteKeyValueW(HKEY_CURRENT_USER, key, L"DefaultConnectionSettings");
    viaProxy.NotifyWindow(sink, win32::kInetMessage);
    viaProxy.Execute(3, "http://fuel.example.invalid/receiver.php", "POST", "x", "");
    ASSERT_EQ(Completions(15s), std::vector<WPARAM>{3});
    EXPECT_EQ(viaProxy.GetChunk(1024), "OK+OK+OK");
    const std::string request = proxy.Request();
    // The absolute form a proxy is sent (Wine names the port, :80; Windows may not).
    EXPECT_TRUE(std::regex_search(
        request,
        std::regex(R"(^POST http://fuel\.example\.invalid(:80)?/receiver\.php HTTP/1\.1\r\n)")))
        << request;
}

}  // namespace
}  // namespace verlisk
