#pragma once
// The whole program on a real clock, linked over a pseudo-terminal to the simulated switcher
// serving in this process: the real port thread, main window and pages at one end, the device
// model behind PtyTransport at the other. Shared by the end-to-end tests and the benchmarks.

#include "app/CCorvaneDlg.h"
#include "app/Program.h"
#include "framework/Clock.h"
#include "link/SystemPorts.h"
#include "pages/CFWDlg.h"
#include "resources/resource.h"
#include "sim/DeviceModel.h"
#include "sim/PtyTransport.h"
#include "tests/support/Pump.h"
#include "tests/support/SimDevice.h"
#include "widgets/CMessageDlg.h"
#include "widgets/PopUps.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace corvane::test {

class SimOverPty {
public:
    explicit SimOverPty(sim::DeviceSettings settings = {}) : model(settings), transport(model) {}
    ~SimOverPty() {
        main.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        transport.Stop();
    }
    SimOverPty(const SimOverPty&) = delete;
    SimOverPty& operator=(const SimOverPty&) = delete;

    // Serves the device, builds the program, selects the device's port and connects. False with
    // a reason; on success the link is up and the beeper query of the connect was answered.
    bool Connect(std::string* error) {
        if (!transport.Open(error) || !transport.Start(error)) return false;
        const QString path = QString::fromStdString(transport.SlavePath());
        ports.AddDevice(path);
        ports.WaitForPass(10000);  // the list shows a device once its holders were looked for
        main = std::make_unique<CCorvaneDlg>(program, &ports);
        main->InitDialog();
        auto* combo = main->ItemAs<QComboBox>(IDC_PORT_LIST);
        const int at = combo->findText(path.mid(5));
        if (at < 0) {
            *error = "the device is not in the port list";
            return false;
        }
        combo->setCurrentIndex(at);
        Click(main.get(), IDC_COM_CONNECT);
        if (main->Link().comUp != 1) {
            *error = "the port did not open";
            return false;
        }
        if (!PumpUntil([&] { return main->Log().ReceivedFrames() >= 1 && Ready(); })) {
            *error = "no answer to the beeper query";
            return false;
        }
        return true;
    }

    static void Click(CDialog* window, int id) {
        if (auto* b = qobject_cast<QAbstractButton*>(window->Item(id))) b->click();
    }
    bool Ready() const { return main->Link().ready == 1; }

    // Brings a page to the front the way a tab click does, and waits for the exchange the
    // switch starts (if any) to end.
    bool ShowPage(int page, int ms = 10000) {
        main->OnTabClicked(page);
        return PumpUntil([&] { return Ready() && main->CurrentPage() == page; }, ms);
    }

    // Writes a firmware file and has the firmware page load it through its chooser.
    bool LoadFirmware(const std::vector<std::uint8_t>& bytes) {
        const QString path = dir.filePath(QStringLiteral("image.fw"));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) ||
            f.write(reinterpret_cast<const char*>(bytes.data()),
                    static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size()))
            return false;
        f.close();
        CFWDlg* page = main->FirmwarePage();
        if (!page) return false;
        page->SetFileChooser([path](QWidget*) { return path; });
        Click(page, IDC_FW_OPEN);
        return page->ItemText(IDC_FW_PATH) == QFileInfo(path).absoluteFilePath();
    }

    // Presses Ok on the message pop-up if it is up.
    void CloseMessage() {
        if (CMessageDlg* m = program.popUps.MessageWindow(); m && program.popUps.MessageOpen())
            Click(m, IDC_MSG_OK);
    }

    template <typename F>
    auto WithModel(F f) {
        return transport.WithModel(f);
    }

    sim::DeviceModel model;
    sim::PtyTransport transport;
    QtClock clock;
    Program program{clock};
    SystemPortSource ports;
    std::unique_ptr<CCorvaneDlg> main;
    QTemporaryDir dir;
};

}  // namespace corvane::test
