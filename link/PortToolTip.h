#pragma once
// The tooltip of a port-list item: enough to tell two adapters of the same kind apart.

#include <QString>

#include <cstdint>
#include <optional>

class QSerialPortInfo;

namespace corvane {

struct PortDetails {
    QString systemLocation;  // /dev/ttyUSB0
    QString description;     // "CP2102 USB to UART Bridge Controller"
    QString manufacturer;    // "Silicon Labs"
    std::optional<std::uint16_t> vendorId;
    std::optional<std::uint16_t> productId;
    QString serialNumber;

    static PortDetails From(const QSerialPortInfo& info);
};

// Lines: description (manufacturer), "USB 10c4:ea60", "Serial number 0001", the device path.
QString PortToolTip(const PortDetails& port);

}  // namespace corvane
