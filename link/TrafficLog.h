#pragma once
// The send and receive logs: every transmission and every received frame as upper-case hex
// text in two edit controls of the main window. Each log empties itself after 60 entries.

#include "link/CommandFrame.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace corvane {

// The edit control a log writes to: text goes in at the caret, and the control can be emptied.
class LogTarget {
public:
    virtual ~LogTarget() = default;
    virtual void InsertAtCaret(const std::string& text) = 0;
    virtual void Empty() = 0;
};

// What crossed the link, for observers such as a traffic monitor. The logs' own texts and
// counters are not affected by observers. Sent and Received are what the two logs show; the
// search reply also goes to the receive log; the other datagrams reach observers only. A
// datagram comes with the name of the network interface it used; frames come with none.
enum class TrafficKind { Sent, Received, SearchReply, SearchRequest, ConfigSent, ConfigReply };
using TrafficObserver = std::function<void(TrafficKind, const std::uint8_t*, std::size_t,
                                           const std::string& interfaceName)>;

class TrafficLog {
public:
    static constexpr int kEntriesPerLog = 60;

    TrafficLog(LogTarget& sendLog, LogTarget& receiveLog) : send_(sendLog), receive_(receiveLog) {}

    void LogTx(const std::uint8_t* bytes, std::size_t length);
    void LogRx(const Frame& frame);
    // A search reply: written to the receive log, 13 bytes a line, counters untouched.
    void LogDatagram(const std::uint8_t* bytes, std::size_t length,
                     const std::string& interfaceName = {});

    // A datagram that no log shows (search request, configuration packet and its answer):
    // reported to the observer only.
    void NoteDatagram(TrafficKind kind, const std::uint8_t* bytes, std::size_t length,
                      const std::string& interfaceName = {}) {
        if (observer_) observer_(kind, bytes, length, interfaceName);
    }

    void SetObserver(TrafficObserver observer) { observer_ = std::move(observer); }

    int BytesOnLine() const { return bytesOnLine_; }
    int Transmissions() const { return transmissions_; }
    int ReceivedFrames() const { return receivedFrames_; }

private:
    LogTarget& send_;
    LogTarget& receive_;
    TrafficObserver observer_;
    int bytesOnLine_ = 0;
    int transmissions_ = 0;
    int receivedFrames_ = 0;
};

// "A5 5B 01 " style text of bytes, two upper-case digits and a space each.
std::string HexBytes(const std::uint8_t* bytes, std::size_t length);

}  // namespace corvane
