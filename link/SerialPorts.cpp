#include "link/SerialPorts.h"

#include <algorithm>
#include <utility>

namespace corvane {

void EnumerateSerialPorts(std::vector<SSerInfo>& ports, PortSource& source) {
    ports.clear();
    for (const PortDevice& device : source.Devices()) {
        // A port that another program holds is left out, as one that cannot be opened is.
        if (source.IsHeld(device)) continue;
        const PortDescription known = source.Describe(device);
        SSerInfo info;
        info.devicePath = device.path;
        info.portName = device.name;
        info.isUsb = known.isUsb;
        info.description = known.description;
        if (!known.description.isEmpty()) {
            info.friendlyName = known.description + QStringLiteral(" (") + device.name + ')';
        }
        if (info.friendlyName.isEmpty()) info.friendlyName = info.portName;
        if (info.description.isEmpty()) {
            info.description = info.friendlyName;
            const int open = info.description.indexOf(QStringLiteral(" ("));
            const int close = info.description.indexOf(')');
            if (open > 0 && close == info.description.size() - 1) {
                info.description.truncate(open);
            }
        }
        ports.push_back(std::move(info));
    }
}

QString PortNameOf(const SSerInfo& port) {
    const QString& f = port.friendlyName;
    const int open = f.lastIndexOf('(');
    if (f.endsWith(')') && open >= 0) return f.mid(open + 1, f.size() - open - 2);
    return f;
}

namespace {

// The text before the trailing digits, and their value (-1 when there are none).
std::pair<QString, qint64> SplitTrailingNumber(const QString& name) {
    int digitsAt = static_cast<int>(name.size());
    while (digitsAt > 0 && name[digitsAt - 1].isDigit() && name.size() - digitsAt < 9)
        --digitsAt;
    if (digitsAt == name.size()) return {name, -1};
    return {name.left(digitsAt), name.mid(digitsAt).toLongLong()};
}

}  // namespace

bool PortNameLess(const QString& a, const QString& b) {
    const auto [prefixA, numberA] = SplitTrailingNumber(a);
    const auto [prefixB, numberB] = SplitTrailingNumber(b);
    if (prefixA != prefixB) return prefixA < prefixB;
    if (numberA != numberB) return numberA < numberB;
    return a < b;  // ttyS01 and ttyS1: any fixed order
}

std::uint8_t ParsePortNumber(const QString& digits) {
    if (digits.isEmpty() || digits.size() > 3) return 0;
    int value = 0;
    for (const QChar c : digits) {
        if (c < '0' || c > '9') return 0;
        value = value * 10 + (c.unicode() - '0');
    }
    return value <= 255 ? static_cast<std::uint8_t>(value) : 0;
}

PortTarget TargetForEntry(const QString& entry, const std::vector<SSerInfo>& ports,
                          const std::vector<QString>& listed) {
    PortTarget target;
    if (entry.isEmpty()) return target;
    if (entry.startsWith(QStringLiteral("COM"))) {
        target.number = ParsePortNumber(entry.mid(3));
    } else {
        const auto at = std::find(listed.begin(), listed.end(), entry);
        if (at != listed.end())
            target.number =
                static_cast<unsigned>(std::min<std::ptrdiff_t>(at - listed.begin() + 1, 255));
    }
    if (target.number == 0) return target;
    for (const SSerInfo& port : ports) {
        if (PortNameOf(port) == entry) {
            target.device = port.devicePath;
            break;
        }
    }
    return target;
}

}  // namespace corvane
