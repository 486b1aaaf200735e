#include "link/PortToolTip.h"

#include <QStringList>

namespace corvane {

QString PortToolTip(const QString& devicePath, const PortDescription& port) {
    QStringList lines;
    QString what = port.description.isEmpty() ? QStringLiteral("Serial port") : port.description;
    if (!port.manufacturer.isEmpty() && !what.contains(port.manufacturer))
        what += QStringLiteral(" (%1)").arg(port.manufacturer);
    lines << what;
    auto hex4 = [](std::uint16_t v) {
        return QStringLiteral("%1").arg(v, 4, 16, QLatin1Char('0'));
    };
    if (port.vendorId || port.productId) {
        lines << QStringLiteral("USB %1:%2")
                     .arg(port.vendorId ? hex4(*port.vendorId) : QStringLiteral("????"),
                          port.productId ? hex4(*port.productId) : QStringLiteral("????"));
    }
    lines << (port.serialNumber.isEmpty()
                  ? QStringLiteral("No serial number")
                  : QStringLiteral("Serial number %1").arg(port.serialNumber));
    if (!devicePath.isEmpty()) lines << devicePath;
    if (!port.stablePath.isEmpty()) lines << port.stablePath;
    return lines.join(QLatin1Char('\n'));
}

}  // namespace corvane
