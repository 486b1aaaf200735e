// Typed texts into the network configuration conversions: the checks of the configuration
// dialog's fields, the octet and MAC byte conversions, the configuration packet built from
// them, and the dotted address of the TCP link.
//
// Input: byte 0 picks the address mode; the rest is UTF-8 text, fields separated by NUL:
// target MAC (6), new IP (4), new MAC (6), then an address for the TCP link.

#include "app/Program.h"
#include "link/TcpLink.h"
#include "session/ConfigPacket.h"
#include "tests/fuzz/FuzzSupport.h"

#include <QStringList>

#include <numeric>

namespace {

void CheckOctet(const QString& text) {
    if (!corvane::IsValidIpOctetText(text)) return;
    bool ok = false;
    const int value = text.toInt(&ok);
    FUZZ_CHECK(ok && value >= 0 && value <= 255);
    FUZZ_CHECK(corvane::IpOctetFromText(text) == value);
}

void CheckMacByte(const QString& text) {
    if (!corvane::IsValidMacByteText(text)) return;
    bool ok = false;
    const int value = text.toInt(&ok, 16);
    FUZZ_CHECK(ok && corvane::MacByteFromText(text) == value);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    corvane::fuzz::InitApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const int mode =
        data[0] & 1 ? corvane::NetworkState::kStaticIp : corvane::NetworkState::kAutoIp;
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1),
                           static_cast<qsizetype>(size - 1));
    const QList<QByteArray> fields = bytes.split('\0');
    auto field = [&fields](qsizetype i) {
        return i < fields.size() ? QString::fromUtf8(fields[i]) : QString();
    };

    std::array<QString, 6> targetMac, newMac;
    std::array<QString, 4> newIp;
    for (std::size_t i = 0; i < 6; ++i)
        targetMac[i] = field(static_cast<qsizetype>(i));
    for (std::size_t i = 0; i < 4; ++i)
        newIp[i] = field(static_cast<qsizetype>(6 + i));
    for (std::size_t i = 0; i < 6; ++i)
        newMac[i] = field(static_cast<qsizetype>(10 + i));
    for (const QString& t : targetMac)
        CheckMacByte(t);
    for (const QString& t : newMac)
        CheckMacByte(t);
    for (const QString& t : newIp)
        CheckOctet(t);

    const corvane::ConfigPacket p = corvane::BuildConfigPacket(mode, targetMac, newIp, newMac);
    FUZZ_CHECK(p[74] == 0xFF);
    FUZZ_CHECK(p[75] == static_cast<std::uint8_t>(std::accumulate(p.begin(), p.begin() + 75, 0u)));
    FUZZ_CHECK(!corvane::IsConfigAcknowledgement(p.data(), p.size()));
    // What the dialog lets through goes out exactly as typed.
    if (corvane::AddressInputError(mode, newIp, newMac).isEmpty()) {
        for (std::size_t i = 0; i < 6; ++i)
            FUZZ_CHECK(p[19 + i] == newMac[i].toInt(nullptr, 16));
        if (mode == corvane::NetworkState::kStaticIp) {
            for (std::size_t i = 0; i < 4; ++i)
                FUZZ_CHECK(p[6 + i] == newIp[i].toInt());
        }
    }

    // The TCP link hands no text to a name lookup: only four dotted decimal parts pass, and
    // the address they give reads back as the same address.
    const QString address = field(16);
    if (const std::optional<corvane::Ipv4> ip = corvane::ParseIpv4(address)) {
        const QStringList parts = address.split(QLatin1Char('.'));
        FUZZ_CHECK(parts.size() == 4);
        corvane::Ipv4 expected = 0;
        for (const QString& part : parts) {
            for (QChar c : part)
                FUZZ_CHECK(c >= QLatin1Char('0') && c <= QLatin1Char('9'));
            expected = (expected << 8) | static_cast<corvane::Ipv4>(part.toUInt());
        }
        FUZZ_CHECK(*ip == expected);
        const QString back = QStringLiteral("%1.%2.%3.%4")
                                 .arg(*ip >> 24)
                                 .arg((*ip >> 16) & 0xFF)
                                 .arg((*ip >> 8) & 0xFF)
                                 .arg(*ip & 0xFF);
        FUZZ_CHECK(corvane::ParseIpv4(back) == ip);
    }
    return 0;
}
