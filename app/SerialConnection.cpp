// The serial side of the connection workflow: the port list and its refresh, the Connect /
// Disconnect button, and what the port thread reports.
#include "app/CCorvaneDlg.h"
#include "app/GeneralSettings.h"
#include "link/PortList.h"
#include "link/PortToolTip.h"
#include "link/SerialDiagnosis.h"
#include "resources/resource.h"

#include <QComboBox>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace corvane {
namespace {

// Combo box 1020 for the port-list rules.
class ComboPortList final : public PortCombo {
public:
    explicit ComboPortList(QComboBox& combo) : combo_(combo) {}

    int Count() const override { return combo_.count(); }
    int Selected() const override { return combo_.currentIndex(); }
    QString Text(int index) const override { return combo_.itemText(index); }
    void Insert(int index, const QString& text) override { combo_.insertItem(index, text); }
    void Delete(int index) override { combo_.removeItem(index); }
    void Empty() override { combo_.clear(); }
    void Select(int index) override { combo_.setCurrentIndex(index); }

private:
    QComboBox& combo_;
};

// More would not fit the one-byte index the list has always had.
constexpr std::size_t kMaxPorts = 255;

}  // namespace

void CCorvaneDlg::RefreshPortList() {
    // A tick of timer 1 that finds nothing happened costs nothing.
    if (portSource_->Unchanged()) return;
    std::vector<SSerInfo> found;
    try {
        EnumerateSerialPorts(found, *portSource_);
    } catch (const PortEnumerationError& e) {
        // The list stays as it was, and the next tick tries again.
        qCWarning(lcSerial) << "Serial port enumeration failed:" << e.what();
        return;
    }
    if (found.size() > kMaxPorts) found.resize(kMaxPorts);
    std::vector<QString> names;
    names.reserve(found.size());
    for (const SSerInfo& port : found)
        names.push_back(PortNameOf(port));
    if (auto* combo = ItemAs<QComboBox>(IDC_PORT_LIST)) {
        ComboPortList list(*combo);
        UpdatePortCombo(list, std::move(names), listedPorts_);
        UpdatePortToolTips(*combo, found);
    }
    // The traps show as a USB device without a port, so they are looked for when the USB
    // devices or the ports change, not on every tick.
    std::string signature = serialdiag::UsbDevicesSignature();
    for (const SSerInfo& port : found)
        signature += '|' + port.devicePath.toStdString();
    if (signature != trapSignature_) {
        trapSignature_ = std::move(signature);
        trapWatch_.Look();
    }
    ports_ = std::move(found);
}

void CCorvaneDlg::OnPortsChanged() {
    // What timer 1 would find on its next tick, at once; while the timer is stopped (a serial
    // link is up) the list stays frozen.
    if (IsTimerRunning(kPortListTimer)) RefreshPortList();
}

void CCorvaneDlg::UpdatePortToolTips(QComboBox& combo, const std::vector<SSerInfo>& ports) {
    for (int i = 0; i < combo.count(); ++i) {
        const QString name = combo.itemText(i);
        const auto port = std::find_if(ports.begin(), ports.end(),
                                       [&](const SSerInfo& p) { return PortNameOf(p) == name; });
        if (port == ports.end()) continue;
        const QString tip = PortToolTip(port->devicePath,
                                        portSource_->Describe({port->devicePath, port->portName}));
        if (combo.itemData(i, Qt::ToolTipRole).toString() != tip)
            combo.setItemData(i, tip, Qt::ToolTipRole);
    }
}

void CCorvaneDlg::OnComConnect() {
    if (Link().comUp != 0) {
        session_.CloseSerial();
        ShowSerialDisconnected();
        return;
    }
    const PortTarget target = TargetForEntry(ItemText(IDC_PORT_LIST), ports_, listedPorts_);
    const DeviceSession::OpenResult open =
        session_.OpenSerial(target.device.toStdString(), target.number, lineSettings_);
    if (!open.opened) {
        const QString reason = QString::fromStdString(open.reason);
        qCWarning(lcSerial).nospace()
            << "Cannot open serial port "
            << (target.device.isEmpty() ? ItemText(IDC_PORT_LIST) : target.device) << ": "
            << std::strerror(open.error) << " - " << reason;
        trapWatch_.Look();
        // The system's text stays as it is; the line under it says what the operator can do.
        program_.popUps.ShowMessage(QStringLiteral("Open COM failed!"), reason);
        return;
    }
    SetItemText(IDC_COM_CONNECT, QStringLiteral("Disconnect"));
    SetLinkIcon(IDC_COM_ICON, true);
    KillTimer(kPortListTimer);
    EnableItem(IDC_PORT_LIST, false);
    // The beeper state, so that "Enable Beep" shows the device's. No ready flag, no time-out.
    settings_->Beeper().Query();
}

void CCorvaneDlg::OnCommFailed(int wParam, unsigned session) {
    if (wParam != kCommFailed) return;
    session_.OnSerialFailed(session);
}

void CCorvaneDlg::OnSerialLinkLost() {
    ShowSerialDisconnected();
}

void CCorvaneDlg::ShowSerialDisconnected() {
    Link().comUp = 0;
    SetItemText(IDC_COM_CONNECT, QStringLiteral("Connect"));
    SetLinkIcon(IDC_COM_ICON, false);
    SetTimer(kPortListTimer, portListPeriod_);
    EnableItem(IDC_PORT_LIST, true);
}

}  // namespace corvane
