#include "link/TrafficDecoder.h"

#include "link/CommandFrame.h"

#include <cstdio>
#include <string>

namespace corvane {
namespace {

constexpr std::size_t kSearchReplyMin = 50;
constexpr std::size_t kConfigPacketSize = 76;

std::string Hex2(std::uint8_t b) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", b);
    return text;
}

std::string Dec(unsigned v) {
    return std::to_string(v);
}

std::string Join(std::string a, const std::string& b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    return a + ", " + b;
}

std::string Mac(const std::uint8_t* b) {
    std::string text;
    for (int i = 0; i < 6; ++i)
        text += (i ? ":" : "") + Hex2(b[i]);
    return text;
}

std::string Ip(const std::uint8_t* b) {
    return Dec(b[0]) + "." + Dec(b[1]) + "." + Dec(b[2]) + "." + Dec(b[3]);
}

std::string Named(std::uint8_t value, const char* const* names, std::size_t count,
                  std::size_t first = 1) {
    if (value >= first && value - first < count) return names[value - first];
    return "unknown " + Hex2(value);
}

const char* const kInputs[] = {"HDMI 1", "HDMI 2", "HDMI 3", "HDMI 4",
                               "DVI",    "VGA 1",  "VGA 2",  "CV"};
const char* const kResolutions[] = {"1920x1200", "1080P", "1360x768", "720P", "1024x768"};
const char* const kAudio[] = {"INT", "EXT"};
// The numbering the device reports VGA formats in; a set command sends 02 and 05 instead.
const char* const kReportedFormats[] = {"RGBHV", "YPbPr", "SCALER", "AUTO ADJUST"};
const char* const kPresets[] = {
    "1080i,Stereo Audio 2.0", "1080i,Dolby/DTS 5.1", "1080i,HD Audio 7.1",
    // 04 is also what "Default EDID" sends.
    "1080p,Stereo Audio 2.0 or Default EDID", "1080p,Dolby/DTS 5.1", "1080p,HD Audio 7.1",
    "3D,Stereo Audio 2.0", "3D,Dolby/DTS 5.1", "3D,HD Audio 7.1", "4K2K,Stereo Audio 2.0",
    "4K2K,Dolby/DTS 5.1", "4K2K,HD Audio 7.1", "DVI 1024x768", "DVI 1920x1080", "DVI 1920x1200"};
const char* const kOutputs[] = {"HDMI OUT", "QLX OUT"};

std::string Input(std::uint8_t v) {
    return "input " + Dec(v) + " " + Named(v, kInputs, 8);
}
std::string Resolution(std::uint8_t v) {
    return Named(v, kResolutions, 5);
}
std::string Audio(std::uint8_t v) {
    return Named(v, kAudio, 2);
}
std::string ReportedFormat(std::uint8_t v) {
    return Named(v, kReportedFormats, 4);
}

std::string SetFormat(std::uint8_t v) {
    if (v == 0x02) return "RGBHV";
    if (v == 0x05) return "YPbPr";
    return "unknown " + Hex2(v);
}

std::string DeviceType(std::uint8_t v) {
    if (v == 1) return "Corvane";
    if (v == 2) return "Pellaro";
    return "Ostrevin";
}

std::string Status(std::uint8_t b4) {
    return "status " + Hex2(b4);
}

std::string Region(std::uint8_t v) {
    return "region " + Hex2(v);
}

// Bytes 2 and 3 of a frame going to the device.
TrafficMeaning DecodeCommand(const std::uint8_t* f) {
    TrafficMeaning m;
    const std::uint8_t cmd = f[2], sub = f[3];
    auto name = [&](const char* n, std::string args = {}) {
        m.name = n;
        m.arguments = std::move(args);
    };
    switch (cmd << 8 | sub) {
        case 0x0101:
            if (f[10] == 0xCC) {
                name("device type query");
            } else {
                name("reboot probe");
            }
            break;
        case 0x0102:
            name("device size query");
            break;
        case 0x0103:
            name("version query");
            break;
        case 0x010B:
            name("beeper state query");
            break;
        case 0x0201:
            name("current input query");
            break;
        case 0x0203:
            name("input select", Input(f[4]));
            break;
        case 0x0308:
            name("EDID preparation", f[10] == 0xEE ? "for copy EDID" : "for set EDID preset");
            break;
        case 0x0302:
            name("set EDID preset", "preset " + Hex2(f[4]) + " " + Named(f[4], kPresets, 15) +
                                        ", target " + Input(f[6]));
            break;
        case 0x0304:
            name("copy EDID", "from " + Named(f[4], kOutputs, 2) + " to " + Input(f[6]));
            break;
        case 0x0601:
            if (f[4] == 0x0F && f[6] == 0xDD) {
                name("beeper enable/disable", "enable");
            } else if (f[4] == 0xF0) {
                name("beeper enable/disable", "disable");
            } else {
                name("beeper enable/disable", "unknown " + Hex2(f[4]) + " " + Hex2(f[6]));
            }
            break;
        case 0x0707:
            name("scaler upgrade from a USB flash drive");
            break;
        case 0x0A01:
            name("VGA format", SetFormat(f[4]) + ", " + Input(f[6]));
            break;
        case 0x0A06:
            name("output resolution", Resolution(f[4]));
            break;
        case 0x0A0C:
            name("audio source", Audio(f[4]));
            break;
        case 0x0A0E:
            name("auto adjust");
            break;
        case 0x0A0F:
            name("scaler");
            break;
        case 0x1201:
            name("factory reset, last step");
            break;
        case 0x2001:
            switch (f[4]) {
                case 0x01:
                    name("firmware upgrade start");
                    break;
                case 0x80:
                    name("firmware 0x80 request");
                    break;
                case 0x10:
                    name("firmware 0x10 request");
                    break;
                case 0xAA:
                case 0x56:
                    name("firmware block announcement", Join(Region(f[9]) + ", page " + Hex2(f[10]),
                                                             f[4] == 0x56 ? "last block" : ""));
                    break;
                default:
                    name("firmware upgrade", "unknown step " + Hex2(f[4]));
                    break;
            }
            break;
        case 0x9001:
            name("VGA format query", Input(f[6]));
            break;
        case 0x9006:
            name("resolution query");
            break;
        case 0x900C:
            name("audio source query", Input(f[6]));
            break;
        default:
            name("unknown command", Hex2(cmd) + " " + Hex2(sub));
            break;
    }
    return m;
}

// A frame from the device, named after the command it answers.
TrafficMeaning DecodeReply(const std::uint8_t* f) {
    TrafficMeaning m;
    const std::uint8_t cmd = f[2], sub = f[3];
    auto name = [&](const char* n, std::string args = {}) {
        m.name = n;
        m.arguments = std::move(args);
    };
    // The confirmations of settings carry 00 in byte 4 and 01 in byte 6.
    auto confirmation = [&](const char* n, std::string args = {}) {
        const bool ok = f[4] == 0x00 && f[6] == 0x01;
        name(n, Join(Status(f[4]), Join(std::move(args), ok ? "confirmed" : "not confirmed")));
    };
    switch (cmd << 8 | sub) {
        case 0x0101:
            if (f[10] == 0xCC) {
                name("device type reply", DeviceType(f[4]));
            } else if (f[7] == 0 && f[8] == 0 && f[10] == 0) {
                name("reboot probe reply", "device back after reboot");
            } else {
                name("device type reply", "without CC in byte 10");
            }
            break;
        case 0x0102:
            name("device size reply",
                 f[10] == 0xCC ? Dec(f[4]) + "x" + Dec(f[6]) : "without CC in byte 10");
            break;
        case 0x0103:
            name("version reply", f[10] == 0xCC ? "version " + Dec(f[4]) + "." + Dec(f[6])
                                                : "without CC in byte 10");
            break;
        case 0x010B:
            name("beeper state reply",
                 Join(Status(f[4]), f[6] == 0x00 ? "beeper on" : "beeper off"));
            break;
        case 0x0601:
            name("beeper enable/disable reply",
                 Join(Status(f[4]), f[6] == 0xDD ? "beeper on" : "beeper off"));
            break;
        case 0x0201:
            name("current input reply", Input(f[6]));
            break;
        case 0x0203:
            confirmation("input select reply");
            break;
        case 0x0A01:
            name("VGA format reply", Join(Status(f[4]), Input(f[6])));
            break;
        case 0x0A06:
            confirmation("output resolution reply");
            break;
        case 0x0A0C:
            confirmation("audio source reply");
            break;
        case 0x0A0E:
            confirmation("auto adjust reply");
            break;
        case 0x0A0F:
            confirmation("scaler reply");
            break;
        case 0x0308:
            name("EDID preparation reply", Status(f[4]));
            break;
        case 0x0302:
            name("set EDID preset reply", Join(Status(f[4]), Input(f[6])));
            break;
        case 0x0304:
            name("copy EDID reply", Join(Status(f[4]), Input(f[6])));
            break;
        case 0x1201:
            name("factory reset reply", Status(f[4]));
            break;
        case 0x0707:
            name("scaler upgrade reply", "accepted");
            break;
        case 0x2001:
            if (f[4] == 0xAA) {
                name("firmware upgrade start reply", "accepted");
            } else if (f[4] == 0x00 && f[6] == 0 && f[7] == 0 && f[8] == 0) {
                name(f[10] == 0xEE ? "firmware 0x80 request reply" : "firmware 0x10 request reply",
                     "accepted");
            } else if (f[4] == 0x00 && f[7] == 0x01 && f[8] == 0x01) {
                std::string steer = "steer " + Hex2(f[10]);
                if (f[10] == 0xF0) steer += ", next block to region B0";
                if (f[10] == 0xB0) steer += ", back to region 40, 4096 bytes on";
                name("firmware block reply", "accepted, " + steer);
            } else {
                name("firmware upgrade reply", "not recognised");
            }
            break;
        case 0x9001:
            name("VGA format query reply", Input(f[6]) + ", " + ReportedFormat(f[4]));
            break;
        case 0x9006:
            name("resolution query reply", Resolution(f[4]));
            break;
        case 0x900C:
            name("audio source query reply", Input(f[6]) + ", " + Audio(f[4]));
            break;
        default:
            name("unknown reply", Hex2(cmd) + " " + Hex2(sub));
            break;
    }
    return m;
}

TrafficMeaning DecodeFrame(TrafficKind kind, const std::uint8_t* f) {
    if (f[0] != kHeader0 || f[1] != kHeader1) return {"no frame header", {}, CheckResult::None};
    TrafficMeaning m = kind == TrafficKind::Sent ? DecodeCommand(f) : DecodeReply(f);
    m.check = IsChecksumValid(f) ? CheckResult::Good : CheckResult::Bad;
    return m;
}

TrafficMeaning DecodeSearchReply(const std::uint8_t* b, std::size_t length) {
    if (length < kSearchReplyMin) {
        return {"search reply", Dec(length) + " bytes, too short: ignored", CheckResult::None};
    }
    const bool switcher = b[18] == 0x77 && b[19] == 0x88;
    return {
        "search reply",
        "MAC " + Mac(b) + ", IP " + Ip(b + 6) + (switcher ? ", switcher" : ", no switcher marker"),
        CheckResult::None};
}

TrafficMeaning DecodeConfigPacket(const std::uint8_t* b, std::size_t length) {
    if (length != kConfigPacketSize) {
        return {"network configuration", Dec(length) + " bytes, not a configuration packet",
                CheckResult::None};
    }
    unsigned sum = 0;
    for (std::size_t i = 0; i < 75; ++i)
        sum += b[i];
    std::string args = "for MAC " + Mac(b);
    if (b[18] == 0x01) {
        args += ", automatic IP";
    } else {
        args += ", static IP " + Ip(b + 6) + ", gateway " + Ip(b + 10) + ", mask " + Ip(b + 14);
    }
    args += ", new MAC " + Mac(b + 19);
    return {"network configuration", args,
            (sum & 0xFF) == b[75] ? CheckResult::Good : CheckResult::Bad};
}

TrafficMeaning DecodeConfigReply(const std::uint8_t* b, std::size_t length) {
    if (length < kConfigPacketSize) {
        return {"configuration reply", Dec(length) + " bytes, too short: ignored",
                CheckResult::None};
    }
    if (b[74] == 0x00) return {"configuration acknowledgement", "byte 74 = 00", CheckResult::None};
    return {"configuration reply", "byte 74 = " + Hex2(b[74]) + ", not an acknowledgement",
            CheckResult::None};
}

}  // namespace

std::string TrafficMeaning::Text() const {
    std::string text = name;
    if (!arguments.empty()) text += ": " + arguments;
    if (check == CheckResult::Good) text += "; checksum good";
    if (check == CheckResult::Bad) text += "; checksum BAD";
    return text;
}

const char* DirectionText(TrafficKind kind) {
    switch (kind) {
        case TrafficKind::Sent:
        case TrafficKind::SearchRequest:
        case TrafficKind::ConfigSent:
            return "sent";
        case TrafficKind::Received:
        case TrafficKind::SearchReply:
        case TrafficKind::ConfigReply:
            return "received";
    }
    return "";
}

TrafficMeaning DecodeTraffic(TrafficKind kind, const std::uint8_t* bytes, std::size_t length) {
    switch (kind) {
        case TrafficKind::Sent:
            if (length == kFrameSize) return DecodeFrame(kind, bytes);
            if (length == kBlockSize) {
                return {"data block", "256 data bytes",
                        BlockChecksum(bytes) == bytes[0] ? CheckResult::Good : CheckResult::Bad};
            }
            return {"unframed bytes", Dec(length) + " bytes", CheckResult::None};
        case TrafficKind::Received:
            if (length == kFrameSize) return DecodeFrame(kind, bytes);
            return {"unframed bytes", Dec(length) + " bytes", CheckResult::None};
        case TrafficKind::SearchReply:
            return DecodeSearchReply(bytes, length);
        case TrafficKind::SearchRequest:
            if (length == 1 && bytes[0] == 0x61) return {"search request", {}, CheckResult::None};
            return {"search request", Dec(length) + " bytes, unexpected content",
                    CheckResult::None};
        case TrafficKind::ConfigSent:
            return DecodeConfigPacket(bytes, length);
        case TrafficKind::ConfigReply:
            return DecodeConfigReply(bytes, length);
    }
    return {};
}

}  // namespace corvane
