#pragma once
// The beeper: its state asked for when a link comes up, and set on the operator's wish. Neither
// holds the ready flag nor waits for its answer; the answers report the device's state.

#include "link/DeviceSender.h"
#include "session/SessionHost.h"

namespace corvane {

class BeeperListener {
public:
    virtual ~BeeperListener() = default;
    // The device said whether its beeper is on.
    virtual void OnBeeperState(bool enabled) = 0;
};

class BeeperController {
public:
    BeeperController(SessionHost& host, DeviceSender& sender) : host_(host), sender_(sender) {}

    void SetListener(BeeperListener* listener) { listener_ = listener; }

    // The state query, sent without the connection guard.
    void Query();
    // Switches the beeper on or off through the connection guard; false when the guard refused.
    bool Set(bool enable);

    // The answer to the query (state byte 0x00: on) and to a set (0xDD: on).
    void OnQueryAnswer(std::uint8_t state);
    void OnSetAnswer(std::uint8_t state);

private:
    SessionHost& host_;
    DeviceSender& sender_;
    BeeperListener* listener_ = nullptr;
};

}  // namespace corvane
