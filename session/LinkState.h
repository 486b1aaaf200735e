#pragma once
// The connection guard's state of one device session.

namespace corvane {

struct LinkState {
    static constexpr int kComMode = 2;
    static constexpr int kTcpMode = 3;

    int controlMode = kComMode;
    int comUp = 0;  // the serial port is open and its thread runs
    int tcpUp = 0;  // the TCP connection to the switcher stands
    int ready = 1;  // no command exchange is outstanding
};

}  // namespace corvane
