#pragma once
// What the firmware measurements count in the frames the simulated switcher received.

#include "link/CommandFrame.h"

namespace corvane::bench {

// A data block's announcement (to the main region or the alternate one).
inline bool IsAnnouncement(const Frame& f) {
    return f[2] == 0x20 && f[3] == 0x01 && (f[4] == 0xAA || f[4] == 0x56) && f[7] == 0x01 &&
           f[8] == 0x01;
}

// A probe of the reboot stage: is the device back after the upload?
inline bool IsRebootProbe(const Frame& f) {
    return f[2] == 0x01 && f[3] == 0x01 && f[4] == 0x00 && f[10] == 0x00;
}

}  // namespace corvane::bench
