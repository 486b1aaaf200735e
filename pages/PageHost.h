#pragma once
// What a page needs of the main window: its session, and the pop-ups.

#include "session/SessionHost.h"

namespace corvane {

class PopUps;

class PageHost : public SessionHost {
public:
    virtual PopUps& PopUp() = 0;
};

}  // namespace corvane
