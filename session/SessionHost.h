#pragma once
// What a controller needs of its device session: the connection guard, the ready flag, the
// send request and the transmit buffers.

#include "link/CommandFrame.h"

namespace corvane {

// wParam values of the send request.
enum SendRequest : int {
    kSendEdidFrame = 2,
    kSendSwitchFrame = 3,
    kSendFirmwareFrame = 4,
    kSendFirmwareBlock = 5,
    kStopMainTimeout = 1000,
};

class SessionHost {
public:
    virtual ~SessionHost() = default;
    // Refuses when the selected link is down (the session reports the refusal to its
    // observer), silently while an exchange is outstanding; otherwise takes the ready flag
    // (sets it to 0) and returns true.
    virtual bool CheckLinkReady() = 0;
    virtual bool IsReady() const = 0;
    virtual void SetReady(bool ready) = 0;
    // Posts WM_SEND_REQUEST: the session acts on it after the current handler returns.
    virtual void PostSendRequest(int wParam) = 0;
    // Sends a frame at once, as the main window's own queries do.
    virtual void SendFrame(Frame& frame) = 0;
    // Timer 1000 of the session, which guards the page-show query of the Switch page.
    virtual void StartMainTimeout() = 0;
    virtual TransmitBuffers& Tx() = 0;
};

}  // namespace corvane
