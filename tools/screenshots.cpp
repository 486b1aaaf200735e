// Renders every window and page of the program to PNG files, without a display.
// Usage: corvane-screenshots DIR [SCALE]
#include "app/CCorvaneDlg.h"
#include "app/NetworkControl.h"
#include "app/Program.h"
#include "app/TrafficMonitor.h"
#include "link/Link.h"
#include "link/SerialDiagnosis.h"
#include "link/SerialPorts.h"
#include "pages/CEDIDDlg.h"
#include "pages/CFWDlg.h"
#include "resources/resource.h"
#include "sim/DeviceModel.h"
#include "widgets/PopUps.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTableView>
#include <QTextStream>

#include <cerrno>

using namespace corvane;

namespace {

// The same two adapters on every machine, so that the pictures do not depend on its ports.
class ShownPorts : public PortSource {
public:
    std::vector<PortDevice> Devices() override {
        return {{QStringLiteral("/dev/ttyUSB0"), QStringLiteral("ttyUSB0")},
                {QStringLiteral("/dev/ttyS0"), QStringLiteral("ttyS0")}};
    }
    PortDescription Describe(const PortDevice& device) override {
        PortDescription d;
        if (device.name == QStringLiteral("ttyUSB0")) {
            d.description = QStringLiteral("USB-Serial Controller");
            d.isUsb = true;
            d.vendorId = 0x067B;
            d.productId = 0x2303;
        }
        return d;
    }
    bool IsHeld(const PortDevice&) override { return false; }
};

ShownPorts shownPorts;

class Shots {
public:
    explicit Shots(QString dir) : dir_(std::move(dir)) {}

    void Save(QWidget* w, const QString& name) {
        QCoreApplication::processEvents();
        const QString path = QDir(dir_).filePath(name + ".png");
        const bool saved = w && w->grab().save(path);
        QTextStream(stdout) << (saved ? "wrote " : "FAILED ") << path << "\n";
        ok_ = ok_ && saved;
    }
    bool ok() const { return ok_; }

private:
    QString dir_;
    bool ok_ = true;
};

void Click(CDialog* dialog, int id) {
    if (auto* b = qobject_cast<QAbstractButton*>(dialog ? dialog->Item(id) : nullptr)) b->click();
}

// Takes what is sent and drops it; the answers are fed in by hand.
class SilentLink final : public Link {
public:
    bool IsOpen() const override { return true; }
    void Write(const std::uint8_t*, std::size_t) override {}
};

// The simulator's device model behind the serial side: its replies come back byte by byte when
// they fall due on the manual clock.
class SimulatedLink final : public Link {
public:
    SimulatedLink(sim::DeviceModel& model, ManualClock& clock, CCorvaneDlg& main)
        : model_(model), clock_(clock), main_(main) {}
    bool IsOpen() const override { return true; }
    void Write(const std::uint8_t* bytes, std::size_t length) override {
        for (const sim::Reply& r : model_.Receive(bytes, length, clock_.Now())) {
            if (r.closeLine) continue;
            clock_.Schedule(r.delayMs, [this, data = r.bytes] {
                for (std::uint8_t b : data)
                    main_.OnRxByte(b);
            });
        }
    }

private:
    sim::DeviceModel& model_;
    ManualClock& clock_;
    CCorvaneDlg& main_;
};

int CountNamed(const TrafficModel& traffic, const char* name) {
    int n = 0;
    for (int row = 0; row < traffic.rowCount(); ++row)
        n += traffic.Entry(row).meaning.name == name;
    return n;
}

// A firmware upload of a 3000-byte file against the simulator, with the traffic monitor open:
// once after the fifth data block and once when the run has ended.
void FirmwareUploadTraffic(Shots& shots) {
    ManualClock clock;
    Program program(clock);
    CCorvaneDlg main(program, &shownPorts);
    main.InitDialog();
    main.show();
    sim::DeviceModel device;
    SimulatedLink link(device, clock, main);
    main.Sender().SetSerialLink(&link);
    main.Link().comUp = 1;
    main.OnTabClicked(kPageFirmware);
    clock.RunPending();

    // A fixed name, so that the pictures are the same from run to run.
    const QString path = QDir::temp().filePath(QStringLiteral("corvane-screenshots/image.fw"));
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return;
    QByteArray image(3000, Qt::Uninitialized);
    for (int i = 0; i < image.size(); ++i)
        image[i] = static_cast<char>(i * 13 + 5 + i / 256 * 71);
    file.write(image);
    file.close();
    CFWDlg* page = main.FirmwarePage();
    page->SetFileChooser([path](QWidget*) { return path; });
    Click(page, IDC_FW_OPEN);
    clock.RunPending();

    TrafficMonitor* monitor = main.ShowTraffic();
    monitor->resize(1000, 420);
    main.Traffic().Clear();
    Click(page, IDC_FW_UPGRADE);
    for (int i = 0; i < 3000 && CountNamed(main.Traffic(), "data block") < 5; ++i)
        clock.Advance(10);
    shots.Save(monitor, "traffic-firmware-upload");
    for (int i = 0;
         i < 3000 && !page->ItemText(IDC_FW_MESSAGES).contains(QStringLiteral("successfully")); ++i)
        clock.Advance(10);
    monitor->View()->scrollToBottom();
    shots.Save(monitor, "traffic-firmware-done");
    shots.Save(&main, "main-firmware-done");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        QTextStream(stderr) << "usage: corvane-screenshots DIR [SCALE]\n";
        return 2;
    }
    if (argc > 2) qputenv("QT_SCALE_FACTOR", argv[2]);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QString dir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(dir);
    Shots shots(dir);

    ManualClock clock;
    Program program(clock);
    PopUps& popUps = program.popUps;
    CCorvaneDlg main(program, &shownPorts);
    main.InitDialog();
    main.show();
    shots.Save(&main, "main-general");

    // Without a link the Switch and FW Upgrade tabs show "Open COM failed!" over the page.
    const struct {
        int page;
        const char* name;
    } pages[] = {
        {kPageEdid, "main-edid"}, {kPageSwitch, "main-switch"}, {kPageFirmware, "main-firmware"}};
    for (const auto& page : pages) {
        main.OnTabClicked(page.page);
        if (popUps.MessageOpen()) {
            if (page.page == kPageSwitch)
                shots.Save(popUps.MessageWindow(), "message-open-com-failed");
            Click(popUps.MessageWindow(), IDC_MSG_OK);
            clock.RunPending();
        }
        shots.Save(&main, page.name);
    }

    // With a link up, the pages as the device's answers leave them.
    SilentLink silent;
    main.Sender().SetSerialLink(&silent);
    main.Link().comUp = 1;
    auto reply = [&](std::array<std::uint8_t, 10> body) {
        main.DispatchFrame(
            MakeFrame(body[0], body[1],
                      {body[2], body[3], body[4], body[5], body[6], body[7], body[8], body[9]}));
        clock.RunPending();
    };
    main.OnTabClicked(kPageSwitch);
    reply({0x02, 0x01, 0x01, 0x00, 0x06});  // input VGA 1
    reply({0x90, 0x06, 0x02, 0x00, 0x01});  // 1080P
    reply({0x90, 0x01, 0x01, 0x00, 0x06});  // RGBHV
    shots.Save(&main, "main-switch-vga1");
    main.OnTabClicked(kPageEdid);
    if (auto* presets = main.EdidPage()->ItemAs<QComboBox>(IDC_EDID_PRESET)) {
        presets->setCurrentIndex(15);
        emit presets->activated(15);
    }
    shots.Save(&main, "main-edid-default");
    Click(main.EdidPage(), IDC_EDID_SET);
    shots.Save(popUps.BusyWindow(), "busy-edid-setting");
    reply({0x03, 0x08, 0x00});
    reply({0x03, 0x02, 0x00, 0x00, 0x01});
    shots.Save(popUps.BusyWindow(), "busy-edid-success");
    clock.Advance(900);
    main.OnTabClicked(kPageGeneral);

    // "Open COM failed!" with the reason for a port that a user outside its group tried, and
    // for one that another program holds.
    serialdiag::NodeFacts facts;
    facts.exists = true;
    facts.mode = 0660;
    facts.ownerName = "root";
    facts.groupName = "dialout";
    facts.groupGid = 20;
    facts.userName = "operator";
    popUps.ShowMessage(
        QStringLiteral("Open COM failed!"),
        QString::fromStdString(serialdiag::OpenFailureReason("/dev/ttyUSB0", EACCES, facts)));
    shots.Save(popUps.MessageWindow(), "message-open-com-permission");
    Click(popUps.MessageWindow(), IDC_MSG_OK);
    facts.holders = {{2817, "minicom"}};
    popUps.ShowMessage(
        QStringLiteral("Open COM failed!"),
        QString::fromStdString(serialdiag::OpenFailureReason("/dev/ttyUSB0", EBUSY, facts)));
    shots.Save(popUps.MessageWindow(), "message-open-com-busy");
    Click(popUps.MessageWindow(), IDC_MSG_OK);
    clock.RunPending();

    popUps.ShowMessage(QStringLiteral("Time out!"));
    shots.Save(popUps.MessageWindow(), "message-time-out");
    Click(popUps.MessageWindow(), IDC_MSG_OK);
    popUps.ShowMessage(QStringLiteral("Connect to Matrix failed!"));
    shots.Save(popUps.MessageWindow(), "message-connect-failed");
    Click(popUps.MessageWindow(), IDC_MSG_OK);
    popUps.ShowMessage(QStringLiteral("Please open the file(.fw)!"));
    shots.Save(popUps.MessageWindow(), "message-open-file");
    Click(popUps.MessageWindow(), IDC_MSG_OK);
    clock.RunPending();
    popUps.Ask(QStringLiteral("Do you want to reset to factory settings?"), {});
    shots.Save(popUps.MessageWindow(), "message-question");
    Click(popUps.MessageWindow(), IDC_MSG_CANCEL);
    clock.RunPending();

    popUps.ShowBusy(QStringLiteral("Setting"));
    shots.Save(popUps.BusyWindow(), "busy-setting");
    clock.Advance(300);
    shots.Save(popUps.BusyWindow(), "busy-setting-one-dot");
    popUps.SetBusyText(QStringLiteral("Set successfully!"));
    popUps.FinishBusy();
    shots.Save(popUps.BusyWindow(), "busy-finished");
    popUps.CloseBusy();
    clock.RunPending();

    // The network configuration dialog as a search leaves it.
    program.network.targetIp = {"198", "51", "100", "10"};
    program.network.targetMac = {"02", "43", "56", "00", "00", "01"};
    main.Network().OnConfig();
    shots.Save(main.Network().ConfigDialog(), "config-ip");
    Click(main.Network().ConfigDialog(), IDC_CFG_CANCEL);
    clock.RunPending();

    shots.Save(main.ShowAbout(), "about");

    FirmwareUploadTraffic(shots);
    return shots.ok() ? 0 : 1;
}
