#include "link/TrafficLog.h"

namespace corvane {
namespace {

std::string HexByte(std::uint8_t b) {
    static const char digits[] = "0123456789ABCDEF";
    return {digits[b >> 4], digits[b & 0x0F], ' '};
}

}  // namespace

std::string HexBytes(const std::uint8_t* bytes, std::size_t length) {
    std::string text;
    text.reserve(length * 3);
    for (std::size_t i = 0; i < length; ++i)
        text += HexByte(bytes[i]);
    return text;
}

// The text is the same as if each byte went in on its own, but the edit takes it a line at a
// time: inserting at the caret re-lays out the edit, and a data block byte by byte cost several
// milliseconds of the user-interface thread.
void TrafficLog::LogTx(const std::uint8_t* bytes, std::size_t length) {
    if (observer_) observer_(TrafficKind::Sent, bytes, length, {});
    std::string line;
    line.reserve(kFrameSize * 3 + 6);
    for (std::size_t i = 0; i < length; ++i) {
        ++bytesOnLine_;
        line += HexByte(bytes[i]);
        if (bytesOnLine_ == 13) {
            line += "\r\n";
            send_.InsertAtCaret(line);
            line.clear();
            bytesOnLine_ = 0;
        }
    }
    if (length > kFrameSize) {
        line += "\r\n\r\n";
        bytesOnLine_ = 0;
    }
    if (!line.empty()) send_.InsertAtCaret(line);
    if (++transmissions_ == kEntriesPerLog) {
        send_.Empty();
        transmissions_ = 0;
    }
}

void TrafficLog::LogRx(const Frame& frame) {
    if (observer_) observer_(TrafficKind::Received, frame.data(), frame.size(), {});
    receive_.InsertAtCaret(HexBytes(frame.data(), frame.size()));
    receive_.InsertAtCaret("\r\n");
    if (++receivedFrames_ == kEntriesPerLog) {
        receive_.Empty();
        receivedFrames_ = 0;
    }
}

void TrafficLog::LogDatagram(const std::uint8_t* bytes, std::size_t length,
                             const std::string& interfaceName) {
    if (observer_) observer_(TrafficKind::SearchReply, bytes, length, interfaceName);
    for (std::size_t i = 0; i < length; ++i) {
        receive_.InsertAtCaret(HexByte(bytes[i]));
        if ((i + 1) % 13 == 0) receive_.InsertAtCaret("\r\n");
    }
}

}  // namespace corvane
