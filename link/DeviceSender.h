#pragma once
// SendToDevice: the one operation through which bytes leave the program. It completes the
// checksum of a frame or a block, picks the link by the control-mode radio, and logs the send.

#include "link/CommandFrame.h"
#include "link/Link.h"
#include "link/TrafficLog.h"

#include <functional>

namespace corvane {

class DeviceSender {
public:
    // comModeChecked tells whether the "COM Control Mode" radio is checked.
    DeviceSender(std::function<bool()> comModeChecked, TrafficLog& log)
        : comModeChecked_(std::move(comModeChecked)), log_(log) {}

    void SetSerialLink(Link* link) { serial_ = link; }
    void SetTcpLink(Link* link) { tcp_ = link; }

    // length 13: a frame, byte 12 gets the checksum. length 256: the data of a block whose
    // byte 0 gets the checksum, 257 bytes go out. Other lengths go out unchanged.
    void SendToDevice(std::size_t length, std::uint8_t* buffer);
    void Send(Frame& frame) { SendToDevice(kFrameSize, frame.data()); }
    void Send(Block& block) { SendToDevice(kBlockDataSize, block.data()); }

private:
    std::function<bool()> comModeChecked_;
    TrafficLog& log_;
    Link* serial_ = nullptr;
    Link* tcp_ = nullptr;
};

}  // namespace corvane
