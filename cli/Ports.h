#pragma once
// The machine's serial ports for corvane-cli: the `ports` command, and the device path a
// --port name stands for.

#include <QString>

namespace corvane::cli {

// A name from the port list (ttyUSB0) gives its device path; anything with a '/' is a path.
QString DevicePathOf(const QString& port);
// Lists every port with what is known of it; returns the exit code.
int ListPorts(bool json, bool quiet);

}  // namespace corvane::cli
