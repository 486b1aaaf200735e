#include "session/ConfigPacket.h"

#include <numeric>

namespace corvane {
namespace {

int HexValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    return -1;
}

bool IsDecimalDigit(QChar c) {
    return c.unicode() >= '0' && c.unicode() <= '9';
}

}  // namespace

std::uint8_t IpOctetFromText(const QString& text) {
    unsigned value = 0;
    for (QChar c : text) {
        if (!IsDecimalDigit(c)) break;
        value = (value * 10 + (c.unicode() - '0')) % 256;
    }
    return static_cast<std::uint8_t>(value);
}

std::uint8_t MacByteFromText(const QString& text) {
    std::uint8_t value = 0;
    for (qsizetype i = 0; i + 1 < text.size(); i += 2) {
        const int high = HexValue(text[i]);
        const int low = HexValue(text[i + 1]);
        if (high < 0 || low < 0) break;
        value = static_cast<std::uint8_t>(high * 16 + low);
    }
    return value;
}

bool IsValidIpOctetText(const QString& text) {
    if (text.isEmpty() || text.size() > 3) return false;
    for (QChar c : text) {
        if (!IsDecimalDigit(c)) return false;
    }
    return text.toInt() <= 255;
}

bool IsValidMacByteText(const QString& text) {
    return text.size() == 2 && HexValue(text[0]) >= 0 && HexValue(text[1]) >= 0;
}

QString AddressInputError(int addressMode, const std::array<QString, 4>& ip,
                          const std::array<QString, 6>& mac) {
    if (addressMode == kStaticIp) {
        for (const QString& octet : ip) {
            if (!IsValidIpOctetText(octet)) return kInvalidIp;
        }
    }
    for (const QString& byte : mac) {
        if (!IsValidMacByteText(byte)) return kInvalidMac;
    }
    return {};
}

QString ConfigRequestError(const ConfigRequest& request) {
    return AddressInputError(request.addressMode, request.newIp, request.newMac);
}

ConfigPacket BuildConfigPacket(const ConfigRequest& r) {
    return BuildConfigPacket(r.addressMode, r.targetMac, r.newIp, r.newMac);
}

ConfigPacket BuildConfigPacket(int addressMode, const std::array<QString, 6>& targetMac,
                               const std::array<QString, 4>& newIp,
                               const std::array<QString, 6>& newMac) {
    ConfigPacket p{};
    for (std::size_t i = 0; i < 6; ++i)
        p[i] = MacByteFromText(targetMac[i]);
    if (addressMode == kStaticIp) {
        for (std::size_t i = 0; i < 4; ++i)
            p[6 + i] = IpOctetFromText(newIp[i]);
        // The gateway: the new address with last octet 1, and the mask 255.255.255.0.
        for (std::size_t i = 0; i < 3; ++i)
            p[10 + i] = p[6 + i];
        p[13] = 0x01;
        p[14] = p[15] = p[16] = 0xFF;
        p[17] = 0x00;
        p[18] = 0x00;
        p[25] = 0x17;
    } else {
        p[18] = 0x01;
        p[25] = 0x16;
    }
    for (std::size_t i = 0; i < 6; ++i)
        p[19 + i] = MacByteFromText(newMac[i]);
    p[74] = 0xFF;
    p[75] = static_cast<std::uint8_t>(std::accumulate(p.begin(), p.begin() + 75, 0u));
    return p;
}

}  // namespace corvane
