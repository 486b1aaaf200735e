#pragma once
// The General page's replies: every checksum-valid frame that arrives while the General page is
// in front goes to the beeper or the factory reset. The first row that matches acts; other
// frames are ignored.

#include "link/CommandFrame.h"
#include "session/BeeperController.h"
#include "session/FactoryResetController.h"

namespace corvane {

void RouteGeneralReply(const Frame& frame, FactoryResetController& reset, BeeperController& beeper);

}  // namespace corvane
