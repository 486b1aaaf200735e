#include "app/CCorvaneApp.h"

#include "app/CCorvaneDlg.h"
#include "app/NetworkControl.h"
#include "link/SystemPorts.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

namespace corvane {

CCorvaneApp::CCorvaneApp(std::unique_ptr<SystemPortSource> ports)
    : program_(clock_), ports_(std::move(ports)) {}

CCorvaneApp::~CCorvaneApp() {
    // The main window goes first: it closes the serial link and waits for its thread.
    main_.reset();
}

int CCorvaneApp::Run() {
    if (!ports_) ports_ = std::make_unique<SystemPortSource>();
    main_ = std::make_unique<CCorvaneDlg>(program_, ports_.get());
    main_->SetQuitHandler([] { QCoreApplication::exit(0); });
    main_->Network().UseSockets(sockets_);
    main_->InitDialog();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        main_->move(area.center() - QPoint(main_->width() / 2, main_->height() / 2));
    }
    main_->show();
    return QApplication::exec();
}

}  // namespace corvane
