#include "cli/Ports.h"

#include "cli/Output.h"
#include "link/SystemPorts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>

#include <unistd.h>

#include <algorithm>

namespace corvane::cli {
namespace {

// How long the first look for the holders may take.
constexpr int kPassWaitMs = 3000;

// The processes that have path open, as "1234 (minicom)"; others' processes are unreadable
// unless we are root.
QStringList HoldersOf(const QString& path) {
    QStringList found;
    const QString target = QFileInfo(path).canonicalFilePath();
    const QString self = QString::number(::getpid());
    const QStringList pids =
        QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& pid : pids) {
        if (pid == self || pid.toInt() <= 0) continue;
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
        for (const QFileInfo& fd :
             fds.entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
            if (fd.symLinkTarget() != target) continue;
            QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
            QString name;
            if (comm.open(QIODevice::ReadOnly))
                name = QString::fromLocal8Bit(comm.readAll()).trimmed();
            found << QStringLiteral("%1 (%2)").arg(pid, name);
            break;
        }
    }
    return found;
}

}  // namespace

QString DevicePathOf(const QString& port) {
    if (port.contains(QLatin1Char('/'))) return port;
    SystemPortSource source;
    source.WaitForPass(kPassWaitMs);
    for (const PortDevice& device : source.Devices()) {
        if (device.name == port) return device.path;
    }
    return QStringLiteral("/dev/") + port;
}

int ListPorts(bool json, bool quiet) {
    SystemPortSource source;
    source.WaitForPass(kPassWaitMs);
    std::vector<PortDevice> devices;
    try {
        devices = source.Devices();
    } catch (const PortEnumerationError& e) {
        PrintErr(QStringLiteral("Cannot list the serial ports: %1\n").arg(e.what()));
        return 1;
    }
    std::sort(devices.begin(), devices.end(), [](const PortDevice& a, const PortDevice& b) {
        return PortNameLess(a.name, b.name);
    });
    for (const PortDevice& device : devices) {
        const PortDescription d = source.Describe(device);
        const bool held = source.IsHeld(device);
        const QStringList holders = held ? HoldersOf(device.path) : QStringList();
        const QString usb = d.vendorId && d.productId
                                ? QStringLiteral("%1:%2")
                                      .arg(*d.vendorId, 4, 16, QLatin1Char('0'))
                                      .arg(*d.productId, 4, 16, QLatin1Char('0'))
                                : QString();
        if (json) {
            QJsonObject o;
            o[QStringLiteral("name")] = device.name;
            o[QStringLiteral("path")] = device.path;
            o[QStringLiteral("description")] = d.description;
            o[QStringLiteral("manufacturer")] = d.manufacturer;
            o[QStringLiteral("usb")] = usb;
            o[QStringLiteral("serial_number")] = d.serialNumber;
            o[QStringLiteral("by_id")] = d.stablePath;
            o[QStringLiteral("busy")] = held;
            o[QStringLiteral("held_by")] = holders.join(QStringLiteral(", "));
            PrintJson(o);
            continue;
        }
        if (quiet) continue;
        QString line = device.name + QStringLiteral("  ") + device.path;
        if (!d.description.isEmpty()) line += QStringLiteral("  ") + d.description;
        if (!d.manufacturer.isEmpty()) line += QStringLiteral(" (") + d.manufacturer + ')';
        if (!usb.isEmpty()) line += QStringLiteral("  USB ") + usb;
        if (!d.serialNumber.isEmpty()) line += QStringLiteral("  serial ") + d.serialNumber;
        if (!d.stablePath.isEmpty()) line += QStringLiteral("  ") + d.stablePath;
        if (held) {
            line += QStringLiteral("  busy");
            if (!holders.isEmpty()) line += QStringLiteral(", held by ") + holders.join(", ");
        }
        PrintOut(line + '\n');
    }
    return 0;
}

}  // namespace corvane::cli
