#include "link/FrameRouter.h"

namespace corvane {

void FrameRouter::DispatchFrame(const Frame& frame) {
    log_.LogRx(frame);
    if (currentPage_ != kPageEdid && currentPage_ != kPageSwitch && currentPage_ != kPageFirmware) {
        currentPage_ = kPageGeneral;
    }
    if (!IsChecksumValid(frame.data())) return;
    if (const Handler& handler = handlers_[currentPage_]) handler(frame);
}

}  // namespace corvane
