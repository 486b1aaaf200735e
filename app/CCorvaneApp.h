#pragma once
// The application object: owns the program's single instances and runs the main window.

#include "app/Program.h"
#include "framework/Clock.h"
#include "link/QtSockets.h"

#include <memory>

namespace corvane {

class CCorvaneDlg;
class SystemPortSource;

class CCorvaneApp {
public:
    // ports: the system's serial ports, made as early as possible so that the look for their
    // holders runs while the toolkit starts; made here when not given.
    explicit CCorvaneApp(std::unique_ptr<SystemPortSource> ports = nullptr);
    ~CCorvaneApp();

    // Builds and shows the main window; returns when the program is to end.
    int Run();

    CCorvaneDlg* MainWindow() const { return main_.get(); }

private:
    QtClock clock_;
    Program program_;
    QtSocketFactory sockets_;
    std::unique_ptr<SystemPortSource> ports_;
    std::unique_ptr<CCorvaneDlg> main_;
};

}  // namespace corvane
