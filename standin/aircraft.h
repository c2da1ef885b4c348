#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "simlink/ipc_protocol.h"

// The stand-in's aircraft and its offset space, kept free of Win32 so that the
// request handling can be read (and tested) on its own.
namespace verlisk::standin {

struct Options {
    std::uint32_t version = 0x34000000;  // 3.400
    std::uint16_t sim = 7;
    std::string windowClass = ipc::kModuleClass;
    std::string title = "Verlisk Sample Aircraft";                   // up to 256 bytes
    double zeroFuelWeight = 1950;                                    // pounds
    std::array<std::int32_t, 9> tanks{0, 26, 26, 0, 0, 0, 0, 0, 0};  // US gallons
    double grossWeight = 2286.7;                                     // pounds at start
    double burnPerHour = 52.5;                                       // pounds per hour
    double latitude = 51.4706, longitude = -0.4619;
    // Raw 32-bit values put into the offset space after everything else.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pokes;
    enum class Fault { None, Hang, ReplyZero, BadKind, Zeros, Slow } fault = Fault::None;
    std::uint32_t delayMs = 0;  // hang or slow: how long an answer takes
    long long answers = -1;     // after this many requests, answer 0 to every other
    std::string recordFile;     // texts written to 0x3380 and 0x32FA go here too
    bool recordReads = false;   // and the offset of every read
};

// Parses the command line words; returns an error text or "".
std::string ParseOptions(const std::vector<std::string>& args, Options& o);
std::string Usage();

class Aircraft {
  public:
    explicit Aircraft(const Options& o);

    // Carries out the request records in a shared area of the given size, at the
    // given number of hours since start. Returns false when the area is malformed
    // (records past the end, unknown kind); nothing outside it is touched either way.
    bool Serve(std::uint8_t* area, std::size_t size, double hoursSinceStart);

    // Puts raw bytes into the offset space, as the simulator would.
    void Poke(std::uint32_t offset, const void* data, std::size_t n);
    void Poke32(std::uint32_t offset, std::uint32_t value) { Poke(offset, &value, 4); }

    // Every write the client made, in order, and the display texts among them.
    std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> writes;
    std::vector<std::string> Messages() const;
    // The offset of every read served, in order.
    std::vector<std::uint32_t> reads;

    Options options;

  private:
    std::vector<std::uint8_t> space_;
};

}  // namespace verlisk::standin
