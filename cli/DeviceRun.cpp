#include "cli/DeviceRun.h"

#include "session/GeneralReplies.h"

#include <QRegularExpression>

namespace corvane::cli {
namespace {

// The pages' buttons, in the order of the values the controllers take (from 1).
const QStringList kInputNames = {"hdmi1", "hdmi2", "hdmi3", "hdmi4", "dvi", "vga1", "vga2", "cv"};
const QStringList kResolutionNames = {"1920x1200", "1080p", "1360x768", "720p", "1024x768"};
const QStringList kAudioNames = {"int", "ext"};
// As reported: 1 RGBHV, 2 YPbPr, 3 SCALER on, 4 AUTO ADJUST done.
const QStringList kVgaFormatNames = {"rgbhv", "ypbpr", "scaler", "auto-adjust"};

// The line settings the program opens every port with.
const serialio::LineSettings kLineSettings{115200, 'N', 8, 2, 3};

// A list item as typed on a command line: lower case, blanks and commas as dashes.
QString Slug(const QString& item) {
    QString s = item.toLower();
    s.replace(QLatin1Char(','), QLatin1Char('-'));
    s.replace(QLatin1Char(' '), QLatin1Char('-'));
    s.replace(QLatin1Char('/'), QLatin1Char('-'));
    return s;
}

// The position of text in list, by its slug, its own words or its number from 1; -1 if none.
int Pick(const QStringList& list, const QString& text) {
    for (int i = 0; i < list.size(); ++i) {
        if (Slug(list[i]) == text.toLower() || list[i].compare(text, Qt::CaseInsensitive) == 0)
            return i;
        QString compact = Slug(list[i]);
        compact.remove(QLatin1Char('-'));
        if (compact == text.toLower()) return i;
    }
    bool ok = false;
    const int n = text.toInt(&ok);
    return ok && n >= 1 && n <= list.size() ? n - 1 : -1;
}

QString NameOf(const QStringList& list, int value) {
    return value >= 1 && value <= list.size() ? list[value - 1] : QString::number(value);
}

}  // namespace

QString EdidUsageText() {
    QString t = QStringLiteral(
        "Usage: corvane-cli [--port DEVICE]... [--host ADDRESS] edid ACTION ARGS\n\n"
        "Actions, as on the EDID page:\n"
        "  edid preset PRESET INPUT   Set EDID Mode PRESET to INPUT\n"
        "  edid copy OUTPUT INPUT     Copy EDID From OUTPUT to INPUT\n\n"
        "PRESET (name or number):\n");
    const QStringList& presets = EdidPresetNames();
    for (int i = 0; i < presets.size(); ++i) {
        t += QStringLiteral("  %1  %2  %3%4\n")
                 .arg(i + 1, 2)
                 .arg(Slug(presets[i]), -24)
                 .arg(presets[i], -24)
                 .arg(EdidPresetInputCount(i) == 5 ? QStringLiteral("(any input)")
                                                   : QStringLiteral("(hdmi1, hdmi2 only)"));
    }
    t += QStringLiteral("INPUT of a preset: hdmi1 hdmi2 hdmi3 hdmi4 dvi\n");
    t += QStringLiteral("OUTPUT: hdmi-out qlx-out\nINPUT of a copy: hdmi1 hdmi2\n");
    return t;
}

bool ParseJob(const QString& command, const QStringList& args, Job& job, QString& error) {
    using K = Job::Kind;
    job.command = command;
    auto one = [&](const QStringList& choices, K kind) {
        const int at = args.size() == 1 ? choices.indexOf(args[0].toLower()) : -1;
        if (at < 0) {
            error = command + QStringLiteral(" takes one of: ") + choices.join(QLatin1Char(' '));
            return false;
        }
        job.kind = kind;
        job.value = at + 1;
        return true;
    };
    auto none = [&](K kind) {
        if (!args.isEmpty()) {
            error = command + QStringLiteral(" takes no arguments");
            return false;
        }
        job.kind = kind;
        return true;
    };
    if (command == QLatin1String("info")) return none(K::Info);
    if (command == QLatin1String("switch")) return one(kInputNames, K::Switch);
    if (command == QLatin1String("resolution")) return one(kResolutionNames, K::Resolution);
    if (command == QLatin1String("audio")) return one(kAudioNames, K::Audio);
    // The page's two buttons: YPbPr sends 2, RGBHV 1.
    if (command == QLatin1String("vga")) return one({"rgbhv", "ypbpr"}, K::Vga);
    if (command == QLatin1String("auto-adjust")) return none(K::AutoAdjust);
    if (command == QLatin1String("scaler")) return none(K::Scaler);
    if (command == QLatin1String("beep")) {
        if (!one({"off", "on"}, K::Beep)) return false;
        job.value -= 1;  // 1 on, 0 off
        return true;
    }
    if (command == QLatin1String("factory-reset")) {
        if (args != QStringList{QStringLiteral("--yes")}) {
            error = QStringLiteral(
                "factory-reset resets the device to factory settings: confirm with --yes");
            return false;
        }
        job.kind = K::FactoryReset;
        return true;
    }
    if (command == QLatin1String("firmware")) {
        if (args.size() != 1) {
            error = QStringLiteral("firmware takes one FILE");
            return false;
        }
        job.kind = K::Firmware;
        job.imagePath = args[0];
        return true;
    }
    if (command == QLatin1String("edid")) {
        const QString action = args.value(0);
        if (action == QLatin1String("preset") && args.size() == 3) {
            const int preset = Pick(EdidPresetNames(), args[1]);
            const int input = Pick(EdidInputNames(), args[2]);
            if (preset < 0 || input < 0 || input >= EdidPresetInputCount(preset)) {
                error = QStringLiteral("no such preset or input for it; see edid --help");
                return false;
            }
            job.kind = K::EdidPreset;
            job.edid.preset = preset;
            job.edid.target = input;
            return true;
        }
        if (action == QLatin1String("copy") && args.size() == 3) {
            const int output = Pick(EdidOutputNames(), args[1]);
            const int input = Pick(EdidCopyInputNames(), args[2]);
            if (output < 0 || input < 0) {
                error = QStringLiteral("no such output or input; see edid --help");
                return false;
            }
            job.kind = K::EdidCopy;
            job.edid.source = output;
            job.edid.copyTarget = input;
            return true;
        }
        error = QStringLiteral("edid takes: preset PRESET INPUT | copy OUTPUT INPUT");
        return false;
    }
    error = QStringLiteral("unknown command ") + command;
    return false;
}

QString ResultName(Result result) {
    switch (result) {
        case Result::Confirmed:
            return QStringLiteral("confirmed");
        case Result::TimeOut:
            return QStringLiteral("timeout");
        case Result::Refused:
            return QStringLiteral("refused");
        case Result::LinkFailed:
            return QStringLiteral("link-failed");
        case Result::Interrupted:
            return QStringLiteral("interrupted");
        case Result::Running:
            break;
    }
    return QStringLiteral("running");
}

int ExitCodeOf(Result result) {
    switch (result) {
        case Result::Confirmed:
            return 0;
        case Result::Refused:
            return 2;
        case Result::LinkFailed:
            return 3;
        case Result::Interrupted:
            return 130;
        case Result::TimeOut:
        case Result::Running:
            break;
    }
    return 1;
}

DeviceRun::DeviceRun(Clock& clock, QString device, const Job& job)
    : clock_(clock),
      device_(std::move(device)),
      job_(job),
      session_(clock),
      switch_(session_, clock),
      firmware_(session_, clock),
      edid_(session_, clock),
      beeper_(session_, session_.Sender()),
      reset_(session_, clock, session_.Sender()) {
    session_.SetObserver(this);
    switch_.SetListener(this);
    firmware_.SetListener(this);
    edid_.SetListener(this);
    beeper_.SetListener(this);
    reset_.SetListener(this);
    FrameRouter& router = session_.Router();
    router.SetHandler(kPageGeneral,
                      [this](const Frame& f) { RouteGeneralReply(f, reset_, beeper_); });
    router.SetHandler(kPageEdid, [this](const Frame& f) { edid_.OnReply(f); });
    router.SetHandler(kPageSwitch, [this](const Frame& f) { switch_.OnReply(f); });
    router.SetHandler(kPageFirmware, [this](const Frame& f) { firmware_.OnFirmwareReply(f); });
}

DeviceRun::~DeviceRun() {
    StopWaiting();
    session_.EndSerialThread();
    session_.SetObserver(nullptr);
}

bool DeviceRun::OpenSerial(const QString& path, unsigned portNumber) {
    session_.Link().controlMode = LinkState::kComMode;
    const DeviceSession::OpenResult open =
        session_.OpenSerial(path.toStdString(), portNumber, kLineSettings);
    if (!open.opened) {
        Finish(Result::LinkFailed, QStringLiteral("Open COM failed!"),
               QString::fromStdString(open.reason));
    }
    return open.opened;
}

void DeviceRun::ConnectTcp(SocketFactory& sockets, const QString& address, std::uint16_t port) {
    session_.Link().controlMode = LinkState::kTcpMode;
    session_.UseSockets(sockets, port);
    session_.ConnectTcp(address);
    // A failed attempt reports nothing: the wait ends it.
    WaitForAnswer();
}

void DeviceRun::OnTcpConnected() {
    StopWaiting();
    Start();
}

void DeviceRun::OnTcpClosed() {
    Finish(Result::LinkFailed, QStringLiteral("Connect to Matrix failed!"));
}

void DeviceRun::Start() {
    if (result_ != Result::Running) return;
    PlanSteps();
    Next();
}

void DeviceRun::PlanSteps() {
    using K = Job::Kind;
    auto onSwitch = [this](auto send) {
        steps_.push_back([this, send] {
            OnPage(kPageSwitch);
            Sent(send());
        });
    };
    switch (job_.kind) {
        case K::Info:
            // The firmware page's device query, the beeper query of a new link, and the
            // switch page's status chain.
            steps_.push_back([this] {
                OnPage(kPageFirmware);
                waitingForInfo_ = true;
                Sent(firmware_.QueryDeviceType());
                if (result_ == Result::Running) WaitForAnswer();
            });
            steps_.push_back([this] {
                OnPage(kPageGeneral);
                waitingForBeeper_ = true;
                beeper_.Query();
                WaitForAnswer();
            });
            onSwitch([this] { return switch_.QueryInput(); });
            break;
        case K::Switch:
            onSwitch([this] { return switch_.SelectInput(job_.value); });
            break;
        case K::Resolution:
            onSwitch([this] { return switch_.SetResolution(job_.value); });
            break;
        case K::Audio:
            onSwitch([this] { return switch_.SetAudio(job_.value); });
            break;
        case K::Vga:
            // The format goes with the input in use, which the page reads when it is shown;
            // the page offers the two buttons only while a VGA input is in use.
            onSwitch([this] { return switch_.QueryInput(); });
            steps_.push_back([this] {
                const int input = switch_.CurrentInput();
                if (input != 6 && input != 7) {
                    Finish(Result::Refused,
                           QStringLiteral("The input in use (%1) has no VGA format.")
                               .arg(NameOf(kInputNames, input)));
                    return;
                }
                Sent(switch_.SetVgaFormat(job_.value));
            });
            break;
        case K::AutoAdjust:
            onSwitch([this] { return switch_.AutoAdjust(); });
            break;
        case K::Scaler:
            onSwitch([this] { return switch_.Scaler(); });
            break;
        case K::EdidPreset:
        case K::EdidCopy:
            steps_.push_back([this] {
                OnPage(kPageEdid);
                Sent(job_.kind == K::EdidPreset ? edid_.StartPreset() : edid_.StartCopy());
            });
            break;
        case K::Beep:
            steps_.push_back([this] {
                OnPage(kPageGeneral);
                waitingForBeeper_ = true;
                Sent(beeper_.Set(job_.value != 0));
                if (result_ == Result::Running) WaitForAnswer();
            });
            break;
        case K::FactoryReset:
            steps_.push_back([this] {
                OnPage(kPageGeneral);
                const bool taken = reset_.Request();
                if (taken) reset_.Start();  // the question is answered by --yes
                Sent(taken);
            });
            break;
        case K::Firmware:
            steps_.push_back([this] {
                OnPage(kPageFirmware);
                const auto* bytes = reinterpret_cast<const std::uint8_t*>(job_.image.constData());
                const auto loaded = firmware_.LoadImage(
                    std::span(bytes, static_cast<std::size_t>(job_.image.size())), job_.imagePath);
                if (loaded != FirmwareController::LoadResult::Loaded) {
                    if (result_ == Result::Running)
                        Finish(Result::Refused, QStringLiteral("Invalid file(.fw)!"));
                    return;
                }
                Sent(firmware_.StartUpgrade());
            });
            break;
    }
}

void DeviceRun::Next() {
    if (result_ != Result::Running) return;
    clock_.Post([this] { RunStep(); });
}

void DeviceRun::RunStep() {
    if (result_ != Result::Running) return;
    if (steps_.empty()) {
        Finish(Result::Confirmed);
        return;
    }
    auto step = std::move(steps_.front());
    steps_.pop_front();
    step();
}

void DeviceRun::Sent(bool sent) {
    // The session reported a refusal of the guard itself (OnLinkRefused); a refusal without a
    // report means an exchange is still out, which a fresh session never has.
    if (!sent && result_ == Result::Running)
        Finish(Result::LinkFailed, QStringLiteral("The link is busy."));
}

void DeviceRun::WaitForAnswer() {
    StopWaiting();
    wait_ = clock_.Schedule(kAnswerWaitMs, [this] {
        wait_ = 0;
        if (session_.Link().controlMode == LinkState::kTcpMode && session_.Link().tcpUp == 0) {
            Finish(Result::LinkFailed, QStringLiteral("Connect to Matrix failed!"));
        } else {
            Finish(Result::TimeOut, QStringLiteral("Time out!"));
        }
    });
}

void DeviceRun::StopWaiting() {
    if (wait_ != 0) clock_.Cancel(wait_);
    wait_ = 0;
}

void DeviceRun::OnLinkRefused(const QString& text) {
    Finish(Result::LinkFailed, text);
}

void DeviceRun::OnSerialLinkLost() {
    Finish(Result::LinkFailed, QStringLiteral("The serial link was lost."));
}

void DeviceRun::OnMainTimeout() {
    // The status chain is given up with it, and the link freed as the closed message does.
    switch_.Abandon();
    session_.SetReady(true);
    Finish(Result::TimeOut, QStringLiteral("Time out!"));
}

void DeviceRun::OnSwitchState(int kind, int value) {
    switch (kind) {
        case kInput:
            values_[QStringLiteral("input")] = NameOf(kInputNames, value);
            break;
        case kResolution:
            values_[QStringLiteral("resolution")] = NameOf(kResolutionNames, value);
            break;
        case kAudio:
            values_[QStringLiteral("audio")] = NameOf(kAudioNames, value);
            break;
        case kVgaFormat:
            values_[QStringLiteral("vga")] = NameOf(kVgaFormatNames, value);
            break;
        default:
            break;
    }
}

void DeviceRun::OnSwitchEnd(SwitchListener::End end) {
    if (end == SwitchListener::End::TimeOut) {
        switch_.TimeOutAcknowledged();
        Finish(Result::TimeOut, QStringLiteral("Time out!"));
        return;
    }
    Next();
}

void DeviceRun::Progress(int position) {
    if (onProgress && result_ == Result::Running)
        onProgress(*this, std::clamp(position, 0, imageLength_), imageLength_);
}

void DeviceRun::DeviceInfo(const QString& text) {
    if (!waitingForInfo_) return;
    waitingForInfo_ = false;
    StopWaiting();
    static const QRegularExpression form(
        QStringLiteral("^Device: (.*) (\\d+x\\d+)\\s+Version:(\\S+)$"));
    const QRegularExpressionMatch m = form.match(text);
    if (m.hasMatch()) {
        values_[QStringLiteral("device_type")] = m.captured(1);
        values_[QStringLiteral("size")] = m.captured(2);
        values_[QStringLiteral("version")] = m.captured(3);
    } else {
        values_[QStringLiteral("device_info")] = text;
    }
    Next();
}

void DeviceRun::Ended(FirmwareController::End end) {
    using E = FirmwareController::End;
    // The window closes its pop-up first; here there is none to wait for.
    if (FirmwareController::WaitsForFinish(end)) firmware_.FinishEnd(end);
    if (end == E::Upgraded || end == E::ScalerAccepted) {
        Next();
    } else if (end == E::NoImage) {
        Finish(Result::Refused, FirmwareController::EndMessage(end));
    } else {
        Finish(Result::TimeOut, FirmwareController::EndMessage(end));
    }
}

void DeviceRun::OnBeeperState(bool enabled) {
    if (!waitingForBeeper_) return;
    waitingForBeeper_ = false;
    StopWaiting();
    values_[QStringLiteral("beeper")] = enabled ? QStringLiteral("on") : QStringLiteral("off");
    if (job_.kind == Job::Kind::Beep && enabled != (job_.value != 0)) {
        Finish(Result::TimeOut, QStringLiteral("The device kept its beeper %1.")
                                    .arg(enabled ? QStringLiteral("on") : QStringLiteral("off")));
        return;
    }
    Next();
}

void DeviceRun::OnResetTimedOut() {
    reset_.TimeOutSeen();
    Finish(Result::TimeOut, QStringLiteral("Time out!"));
}

void DeviceRun::OnEdidEnd(EdidListener::End end) {
    if (end == EdidListener::End::TimeOut) {
        edid_.TimeOutAcknowledged();
        Finish(Result::TimeOut, QStringLiteral("Time out!"));
        return;
    }
    Next();
}

void DeviceRun::Interrupt() {
    if (result_ != Result::Running) return;
    Finish(Result::Interrupted, QStringLiteral("Interrupted"));
}

void DeviceRun::Finish(Result result, const QString& error, const QString& detail) {
    if (result_ != Result::Running) return;
    result_ = result;
    error_ = error;
    detail_ = detail;
    StopWaiting();
    steps_.clear();
    // Nothing more goes out: the port is released (its thread ends with the run) and the
    // connection closed.
    if (result != Result::Confirmed) {
        session_.CloseSerial();
        session_.CloseTcp();
    }
    if (onFinished) clock_.Post([this] { onFinished(*this); });
}

}  // namespace corvane::cli
