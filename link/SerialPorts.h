#pragma once
// The serial ports that exist and are free: the record of one port, the enumeration over a
// source of devices, and the rules that name, order and number ports.

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <vector>

namespace corvane {

struct SSerInfo {
    QString devicePath;  // what opens the port: /dev/ttyUSB0
    QString portName;    // ttyUSB0
    QString
        friendlyName;  // "FT232R USB UART (ttyUSB0)"; the port name when there is no description
    bool isUsb = false;
    QString description;  // "FT232R USB UART"
};

// A serial device present on the machine.
struct PortDevice {
    QString path;  // /dev/ttyUSB0
    QString name;  // ttyUSB0
};

struct PortDescription {
    QString description;
    bool isUsb = false;
    // For the port list's tooltips, so that two adapters of one kind can be told apart.
    QString manufacturer;
    std::optional<std::uint16_t> vendorId;
    std::optional<std::uint16_t> productId;
    QString serialNumber;
    // The link udev made for the adapter in /dev/serial/by-id, which keeps its name whatever
    // ttyUSB number the adapter gets; empty when there is none.
    QString stablePath;
};

class PortEnumerationError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What the enumeration needs of the machine.
class PortSource {
public:
    virtual ~PortSource() = default;
    // The serial devices present now, in discovery order. Throws PortEnumerationError when they
    // cannot be listed.
    virtual std::vector<PortDevice> Devices() = 0;
    // What is known of a device; an empty description when nothing is.
    virtual PortDescription Describe(const PortDevice& device) = 0;
    // Whether another program holds the device. Must not open it: opening a USB serial port
    // raises DTR and RTS, which resets many boards.
    virtual bool IsHeld(const PortDevice& device) = 0;
    // True when nothing has happened since the last Devices() that could change the list, so
    // that a refresh can stop there. A source that cannot tell says false.
    virtual bool Unchanged() { return false; }
    // Called, on any thread, when something may have changed; empty to stop the calls. Returns
    // whether the source calls it at all: one that cannot tell must be asked periodically.
    virtual bool SetChangeHandler(std::function<void()> handler) {
        (void)handler;
        return false;
    }
};

// Empties ports and fills it with the devices of the source that nobody else holds, in
// discovery order. Throws PortEnumerationError.
void EnumerateSerialPorts(std::vector<SSerInfo>& ports, PortSource& source);

// The name a port is listed and selected by: the text in the parentheses that end its friendly
// name ("COM3" on Windows, "ttyUSB0" here), or the whole friendly name without them.
QString PortNameOf(const SSerInfo& port);

// Natural order of port names: by the text before the trailing digits, then by their value, so
// that ttyS1 < ttyS2 < ttyS10 < ttyUSB0.
bool PortNameLess(const QString& a, const QString& b);

// The port number in the text after "COM": one to three digits giving 1 to 255. Anything else
// gives 0, which is no port (a larger value would otherwise wrap round to another port).
std::uint8_t ParsePortNumber(const QString& digits);

// What the connect operation opens for the entry selected in the port list.
struct PortTarget {
    QString device;       // empty: nothing to open
    unsigned number = 0;  // travels with every received byte
};

// A "COM" entry is numbered by ParsePortNumber of the text after the prefix, and number 0 is no
// port at all. Other entries are device names (ttyUSB0): they are numbered by their place in the
// list, from 1, since the name carries no port number. Either way the device opened is the path
// the enumeration found for that name in ports.
PortTarget TargetForEntry(const QString& entry, const std::vector<SSerInfo>& ports,
                          const std::vector<QString>& listed);

}  // namespace corvane
