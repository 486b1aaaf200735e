#pragma once
// The program's single instances, owned by the application object and handed by reference to
// the windows that use them. Tests build a fresh one per test, on a manual clock.

#include "framework/Clock.h"
#include "link/CommandFrame.h"
#include "widgets/PopUps.h"

namespace corvane {

// The connection guard's state.
struct LinkState {
    static constexpr int kComMode = 2;
    static constexpr int kTcpMode = 3;

    int controlMode = kComMode;
    int comUp = 0;   // the serial port is open and its thread runs
    int tcpUp = 0;   // the TCP connection to the switcher stands
    int ready = 1;   // no command exchange is outstanding
};

struct Program {
    explicit Program(Clock& c) : clock(c), popUps(c) {}
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    Clock& clock;
    TransmitBuffers tx;
    LinkState link;
    PopUps popUps;
};

}  // namespace corvane
