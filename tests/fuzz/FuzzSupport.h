#pragma once
// What every harness shares: the application object the widgets need (offscreen platform), the
// way an input is cut into chunks, and invariant checks that abort so the fuzzer keeps the input.

#include "tests/fuzz/Chunker.h"
#include "tests/fuzz/FuzzCheck.h"
#include "tests/support/Harness.h"

#include <QApplication>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace corvane::fuzz {

inline void InitApplication(int* argc, char*** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt keeps the references: both must outlive the application object.
    static int qtArgc = 1;
    static char* qtArgv[] = {(*argv)[0], nullptr};
    (void)argc;
    // Never destroyed: Qt's font caches would outlive it and be reported as leaks at exit.
    static QApplication* app = new QApplication(qtArgc, qtArgv);
    (void)app;
}

// One program for the whole run: building the main window costs far more than any input, so
// the window lives on and each input starts from a settled state (see Settle below). Never
// destroyed, like the application object.
inline test::Harness& SharedHarness() {
    static test::Harness* harness = new test::Harness;
    return *harness;
}

// Brings the long-lived program back to rest between inputs: every pending time-out runs out,
// pop-ups are closed, a partial frame in the assembler is completed and the scan buffer is
// wound back to its start with zeros (zeros never make a header), and the link forgets what
// was sent. An exchange left outstanding after all its time-outs is a fault: the ready flag
// would keep every later command out.
inline void Settle(test::Harness& h) {
    // The longest exchange (the firmware page's reboot wait) gives up after 18 s.
    for (int i = 0; i < 25 && h.main.Link().ready == 0; ++i) {
        h.CloseMessage();
        h.program.popUps.CloseBusy();
        h.Advance(1000);
    }
    h.CloseMessage();
    while (h.main.Assembler().InFrame())
        h.main.OnRxByte(0);
    while (h.main.Assembler().ScanLength() != 2)
        h.main.OnRxByte(0);
    h.Settle();
    h.CloseMessage();
    h.link.Clear();
}

}  // namespace corvane::fuzz
