#pragma once
// The network configuration packet: 76 bytes broadcast to port 30601 that tell the switcher with
// the target MAC its new address mode, IP address and MAC. Built from the texts of the
// configuration dialog's fields, or of a command line, after the same checks.

#include "link/SwitcherSearch.h"

#include <QString>

#include <array>
#include <cstdint>

namespace corvane {

// Address modes.
constexpr int kAutoIp = 0;
constexpr int kStaticIp = 1;

inline const QString kInvalidIp = QStringLiteral("Invalid IP address!");
inline const QString kInvalidMac = QStringLiteral("Invalid MAC address!");

// What one configuration asks of which switcher, as typed: decimal octets, and two hexadecimal
// digits a MAC byte.
struct ConfigRequest {
    int addressMode = kAutoIp;
    std::array<QString, 6> targetMac;
    std::array<QString, 4> newIp;
    std::array<QString, 6> newMac;
};

// The decimal value of the text's leading digits modulo 256; 0 when it has none.
std::uint8_t IpOctetFromText(const QString& text);
// The text read two characters at a time while both are hexadecimal digits; the last such
// pair gives the byte, 0 when there is none ("1A2B" gives 0x2B).
std::uint8_t MacByteFromText(const QString& text);

// A number from 0 to 255 in decimal digits.
bool IsValidIpOctetText(const QString& text);
// Exactly two hexadecimal digits.
bool IsValidMacByteText(const QString& text);

// The message for what was typed into the configuration dialog, or an empty text when it may be
// sent: in Static IP mode every octet must be valid, in both modes every MAC byte.
QString AddressInputError(int addressMode, const std::array<QString, 4>& ip,
                          const std::array<QString, 6>& mac);
// The same for a whole request. The target MAC comes from the search and is not checked: where
// there was none, the packet goes to MAC 0 as the dialog's has always done.
QString ConfigRequestError(const ConfigRequest& request);

// addressMode 1 is Static IP, anything else Auto IP.
ConfigPacket BuildConfigPacket(int addressMode, const std::array<QString, 6>& targetMac,
                               const std::array<QString, 4>& newIp,
                               const std::array<QString, 6>& newMac);
ConfigPacket BuildConfigPacket(const ConfigRequest& request);

}  // namespace corvane
