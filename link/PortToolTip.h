#pragma once
// The tooltip of a port-list item: enough to tell two adapters of the same kind apart.

#include "link/SerialPorts.h"

#include <QString>

namespace corvane {

// Lines: description (manufacturer), "USB 10c4:ea60", "Serial number 0001", the device path, and
// the /dev/serial/by-id link when there is one.
QString PortToolTip(const QString& devicePath, const PortDescription& port);

}  // namespace corvane
