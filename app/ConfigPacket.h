#pragma once
// The network configuration packet: 76 bytes broadcast to port 30601 that tell the switcher with
// the target MAC its new address mode, IP address and MAC. Built from the texts of the
// configuration dialog's fields.

#include "link/SwitcherSearch.h"

#include <QString>

#include <array>
#include <cstdint>

namespace corvane {

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

// addressMode 1 is Static IP, anything else Auto IP.
ConfigPacket BuildConfigPacket(int addressMode, const std::array<QString, 6>& targetMac,
                               const std::array<QString, 4>& newIp,
                               const std::array<QString, 6>& newMac);

}  // namespace corvane
