#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace verlisk {

// Inet1_StateChanged's state for "the response has been received completely".
inline constexpr std::int16_t kResponseCompleted = 12;

// The window's asynchronous HTTP client. One request at a time: starting one ends the
// one before, and every state change it reports carries the generation it was started
// with, so that a late answer to an ended request can be told apart and dropped.
class HttpClient {
  public:
    virtual ~HttpClient() = default;
    // Starts the request and returns at once; headers are extra header lines, each
    // ending in CR LF; the body goes out as its bytes.
    virtual void Execute(std::uint32_t generation, const std::string& url,
                         const std::string& method, const std::string& body,
                         const std::string& headers) = 0;
    // After the completed state: the next piece of the response body, at most
    // maxChars characters; "" once everything has been handed out.
    virtual std::string GetChunk(std::size_t maxChars) = 0;
};

}  // namespace verlisk
