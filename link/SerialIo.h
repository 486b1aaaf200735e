#pragma once
// The operating system's side of the serial link: open a device for exclusive use, apply the
// line settings, wait for input, a write request or shutdown, read, write, purge, close.
// This is the only file pair that knows the platform; the port thread above it does not.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace corvane::serialio {

struct LineSettings {
    unsigned baud = 115200;
    char parity = 'N';  // 'N', 'E' or 'O'
    unsigned dataBits = 8;
    unsigned stopBits = 2;
    unsigned eventMask = 3;  // received-character events; the wait below always watches input
};

// A manual-reset event: once signalled it stays so until reset. A wait can watch it.
class Event {
public:
    Event();
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Signal();
    void Reset();
    bool IsSignalled() const;
    // False when the system had no descriptor to spare.
    bool Valid() const { return fd_ >= 0; }
    int Native() const { return fd_; }

private:
    int fd_ = -1;
};

struct ReadResult {
    std::size_t count = 0;  // 0: nothing waiting
    bool failed = false;    // the device is gone (unplugged, hung up)
};

enum class WriteResult { Written, Failed, Interrupted };

// One open serial device, closed with the object.
class Port {
public:
    ~Port();
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    // Opens the device for reading and writing, for this program alone. On failure returns
    // null and sets error to the system's error code.
    static std::unique_ptr<Port> Open(const std::string& device, int& error);

    // Applies raw 8-bit I/O with the given speed, parity, data and stop bits, no flow control,
    // and raises DTR and RTS. The steps run in order and the first that fails ends the chain;
    // returns 0 or that step's error code. The port stays usable either way.
    int Configure(const LineSettings& settings);

    // Discards what was received and not yet read, and what was written and not yet sent.
    void Purge();

    // Reads what is waiting, at most max bytes, without blocking.
    ReadResult Read(std::uint8_t* buffer, std::size_t max);

    // Writes all bytes and waits until they have left, unless shutdown is signalled first.
    WriteResult WriteAll(const std::uint8_t* bytes, std::size_t length, const Event& shutdown);

    int Native() const { return fd_; }

private:
    explicit Port(int fd, bool pseudoTerminal) : fd_(fd), pseudoTerminal_(pseudoTerminal) {}

    int fd_;
    bool pseudoTerminal_;
};

enum class Woken { Shutdown, Input, PortFailed, WriteRequest };

// Waits without time limit until shutdown is signalled, the port has input or has failed, or a
// write is requested; when several hold, the first in that order wins. A null port is not
// watched (after it has failed).
Woken Wait(const Port* port, const Event& shutdown, const Event& writeRequest);

}  // namespace corvane::serialio
