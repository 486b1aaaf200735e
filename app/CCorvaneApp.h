#pragma once
// The application object: owns the program's single instances and runs the main window.

#include "app/Program.h"
#include "framework/Clock.h"
#include "link/QtSockets.h"

#include <memory>

namespace corvane {

class CCorvaneDlg;

class CCorvaneApp {
public:
    CCorvaneApp();
    ~CCorvaneApp();

    // Builds and shows the main window; returns when the program is to end.
    int Run();

    CCorvaneDlg* MainWindow() const { return main_.get(); }

private:
    QtClock clock_;
    Program program_;
    QtSocketFactory sockets_;
    std::unique_ptr<CCorvaneDlg> main_;
};

}  // namespace corvane
