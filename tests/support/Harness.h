#pragma once
// A whole program on a manual clock with a fake serial link in place of the port: the main
// window is built and initialised, COM control mode is on and the serial link counts as up.
// The port list comes from a fake source, empty unless a test fills it; the network sockets are
// fakes.

#include "app/CCorvaneDlg.h"
#include "app/NetworkControl.h"
#include "app/Program.h"
#include "framework/Clock.h"
#include "tests/support/FakeLink.h"
#include "tests/support/FakePortSource.h"
#include "tests/support/FakeSockets.h"
#include "widgets/PopUps.h"

#include <QAbstractButton>
#include <QCoreApplication>

#include <string>

namespace corvane::test {

class Harness {
public:
    Harness() : program(clock), main(program, &ports) {
        main.InitDialog();
        main.Sender().SetSerialLink(&link);
        main.Network().UseSockets(sockets);
        main.Link().comUp = 1;
    }
    ~Harness() {
        // The fake sockets go before the window that holds them.
        main.Network().UseSockets(NoSockets());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Delivers a reply frame as the serial link would: byte by byte through the assembler.
    void Reply(const Frame& frame) {
        for (std::uint8_t b : frame)
            main.OnRxByte(b);
        clock.RunPending();
    }
    void Reply(const std::string& body) { Reply(FrameFromBody(body)); }

    // Lets posted calls run (send requests, continuations) without moving time.
    void Settle() { clock.RunPending(); }
    void Advance(std::int64_t ms) { clock.Advance(ms); }

    // Clicks a button of a window the way the operator does.
    static void Click(CDialog* window, int id) {
        if (auto* b = qobject_cast<QAbstractButton*>(window->Item(id))) b->click();
    }
    // Presses Ok (or Cancel) on the message pop-up if it is open.
    void CloseMessage(int button = 1058 /* Ok */) {
        if (CMessageDlg* m = program.popUps.MessageWindow(); m && program.popUps.MessageOpen()) {
            Click(m, button);
        }
        Settle();
    }

    ManualClock clock;
    Program program;
    FakePortSource ports;
    CCorvaneDlg main;
    FakeLink link;
    FakeSockets sockets;  // the TCP link and the search run on these
};

}  // namespace corvane::test
