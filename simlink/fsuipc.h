#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "simlink/ipc_system.h"

namespace verlisk {

// The IPC link to the simulator interface module: its state and the operations on
// it. Every operation returns true on success and reports its result code (0 =
// success, 1 to 15 = failures) through its last argument.
class FsuipcLink {
  public:
    explicit FsuipcLink(IpcSystem& sys) : sys_(sys) {}
    ~FsuipcLink() { IpcClose(); }
    FsuipcLink(const FsuipcLink&) = delete;
    FsuipcLink& operator=(const FsuipcLink&) = delete;

    void IpcInit();
    bool IpcOpen(const std::int32_t& requestedSim, std::int32_t& result);
    void IpcClose();

    bool IpcRead(std::int32_t offset, std::int32_t size, void* destination, std::int32_t& result);
    bool IpcWrite(std::int32_t offset, std::int32_t size, const void* source, std::int32_t& result);
    bool IpcWriteString(std::int32_t offset, std::int32_t size, std::string text,
                        std::int32_t& result);
    bool IpcProcess(std::int32_t& result);

    // The link state, in its declared order.
    std::int32_t IpcVersion = 0;
    std::int32_t IpcSimVersion = 0;
    std::int16_t IpcLibVersion = 0;
    SysHandle IpcWindow = 0;
    std::uint32_t IpcMessage = 0;
    std::int32_t IpcAtom = 0;
    SysHandle IpcMapping = 0;
    std::uint8_t* IpcView = nullptr;
    std::uint8_t* IpcNext = nullptr;
    bool IpcViaWideClient = false;

    // The shared area's name for this process and attempt, as the module is told it.
    static std::string AreaName(std::uint32_t processId, std::uint32_t attempt);

  private:
    // Where a read's answer goes; the record carries the entry's number (from 1).
    struct Destination {
        void* address;
        std::uint32_t size;
    };

    bool Queue(std::uint32_t kind, std::int32_t offset, std::int32_t size, const void* source,
               std::int32_t& result);
    bool WalkReply(std::int32_t& result);
    void ForgetDestinations();

    IpcSystem& sys_;
    std::vector<Destination> destinations_;
};

}  // namespace verlisk
