#include "link/DeviceSender.h"

namespace corvane {

void DeviceSender::SendToDevice(std::size_t length, std::uint8_t* buffer) {
    if (length == kFrameSize) {
        buffer[12] = FrameChecksum(buffer);
    } else if (length == kBlockDataSize) {
        buffer[0] = BlockChecksum(buffer);
        length = kBlockSize;
    }
    Link* link = comModeChecked_() ? serial_ : tcp_;
    if (link && link->IsOpen()) link->Write(buffer, length);
    log_.LogTx(buffer, length);
}

}  // namespace corvane
