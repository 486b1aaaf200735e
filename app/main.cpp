#include "app/CCorvaneApp.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvane"));
    // Lets the desktop match the window with the menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.corvane.Corvane"));
    QApplication::setQuitOnLastWindowClosed(false);
    corvane::CCorvaneApp app;
    return app.Run();
}
