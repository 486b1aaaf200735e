#include "app/CCorvaneApp.h"
#include "link/SystemPorts.h"

#include <QApplication>

#include <memory>

int main(int argc, char** argv) {
    // Its first look for the programs that hold serial ports walks every process; it runs while
    // the toolkit starts. The window does not wait for it: the port list fills when it ends.
    auto ports = std::make_unique<corvane::SystemPortSource>();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvane"));
    // Lets the desktop match the window with the menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.corvane.Corvane"));
    QApplication::setQuitOnLastWindowClosed(false);
    corvane::CCorvaneApp app(std::move(ports));
    return app.Run();
}
