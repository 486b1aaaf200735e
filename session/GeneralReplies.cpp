#include "session/GeneralReplies.h"

namespace corvane {

void RouteGeneralReply(const Frame& frame, FactoryResetController& reset,
                       BeeperController& beeper) {
    const std::uint8_t command = frame[2];
    const std::uint8_t sub = frame[3];
    const bool ok = frame[4] == 0x00;
    // The last factory reset step.
    if (command == 0x12 && sub == 0x01 && ok) {
        reset.OnStepAnswered(6);
        return;
    }
    // Beeper state, asked for when a link comes up.
    if (command == 0x01 && sub == 0x0B && ok) {
        beeper.OnQueryAnswer(frame[6]);
        return;
    }
    // Answer to Enable Beep.
    if (command == 0x06 && sub == 0x01 && ok) {
        beeper.OnSetAnswer(frame[6]);
        return;
    }
    // The earlier factory reset steps.
    if (command == 0x02 && sub == 0x03 && ok && frame[6] == 0x01) {
        reset.OnStepAnswered(1);
    } else if (command == 0x0A && sub == 0x06 && ok && frame[6] == 0x01) {
        reset.OnStepAnswered(2);
    } else if (command == 0x0A && sub == 0x0C && ok && frame[6] == 0x01) {
        reset.OnStepAnswered(3);
    } else if (command == 0x03 && sub == 0x08 && ok) {
        reset.OnStepAnswered(4);
    } else if (command == 0x03 && sub == 0x02 && ok && frame[6] == 0x03) {
        reset.OnStepAnswered(5);
    }
}

}  // namespace corvane
