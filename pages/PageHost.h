#pragma once
// What a page needs of the main window: the connection guard, the ready flag, the send
// request, the shared transmit buffers and the pop-ups.

#include "link/CommandFrame.h"

namespace corvane {

class PopUps;

// wParam values of the send request.
enum SendRequest : int {
    kSendEdidFrame = 2,
    kSendSwitchFrame = 3,
    kSendFirmwareFrame = 4,
    kSendFirmwareBlock = 5,
    kStopMainTimeout = 1000,
};

class PageHost {
public:
    virtual ~PageHost() = default;
    // Refuses with a message when the selected link is down, silently while an exchange is
    // outstanding; otherwise takes the ready flag (sets it to 0) and returns true.
    virtual bool CheckLinkReady() = 0;
    virtual bool IsReady() const = 0;
    virtual void SetReady(bool ready) = 0;
    // Posts WM_SEND_REQUEST: the main window acts on it after the current handler returns.
    virtual void PostSendRequest(int wParam) = 0;
    virtual TransmitBuffers& Tx() = 0;
    virtual PopUps& PopUp() = 0;
};

}  // namespace corvane
