#pragma once
// One device's part of a command: its session, the controllers the command needs, and the
// steps it takes through them. The steps are the pages' own: each sets the router's current
// page to the controller's before its exchange, and what a window would show in a pop-up ends
// the run with a result.

#include "session/BeeperController.h"
#include "session/DeviceSession.h"
#include "session/EdidController.h"
#include "session/FactoryResetController.h"
#include "session/FirmwareController.h"
#include "session/SwitchController.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>

namespace corvane::cli {

// What the command asks of every device.
struct Job {
    enum class Kind {
        Info,
        Switch,
        Resolution,
        Audio,
        Vga,
        AutoAdjust,
        Scaler,
        EdidPreset,
        EdidCopy,
        Beep,
        FactoryReset,
        Firmware,
    };
    Kind kind = Kind::Info;
    QString command;
    int value = 0;
    EdidChoice edid;
    QByteArray image;  // the .fw file, checked before any port was opened
    QString imagePath;
};

// Reads the device command's arguments; on refusal returns false with the message.
bool ParseJob(const QString& command, const QStringList& args, Job& job, QString& error);
QString EdidUsageText();

enum class Result { Running, Confirmed, TimeOut, Refused, LinkFailed, Interrupted };
QString ResultName(Result result);
int ExitCodeOf(Result result);

class DeviceRun final : private SessionObserver,
                        private SwitchListener,
                        private FirmwareController::Listener,
                        private BeeperListener,
                        private FactoryResetListener,
                        private EdidListener {
public:
    // Waited for an answer that no timer of a controller guards (the device information and
    // the beeper), and for a TCP connection: as long as the pages' own time-out.
    static constexpr int kAnswerWaitMs = DeviceSession::kTimeoutPeriod;

    DeviceRun(Clock& clock, QString device, const Job& job);
    ~DeviceRun() override;

    // Opens the port; false (and the run ended as a link failure) when it cannot be opened.
    bool OpenSerial(const QString& path, unsigned portNumber);
    // Connects; the steps start once the connection stands.
    void ConnectTcp(SocketFactory& sockets, const QString& address, std::uint16_t port);
    void Start();
    // Ctrl+C: nothing more is sent and the port is released.
    void Interrupt();

    const QString& Device() const { return device_; }
    Result GetResult() const { return result_; }
    const QString& Error() const { return error_; }
    const QString& ErrorDetail() const { return detail_; }
    const QJsonObject& Values() const { return values_; }

    std::function<void(DeviceRun&)> onFinished;
    std::function<void(DeviceRun&, int position, int length)> onProgress;

private:
    // SessionObserver
    void OnLinkRefused(const QString& text) override;
    void OnSerialLinkLost() override;
    void OnMainTimeout() override;
    void OnTcpConnected() override;
    void OnTcpClosed() override;
    // SwitchListener
    void OnSwitchState(int kind, int value) override;
    void OnSwitchEnd(SwitchListener::End end) override;
    // FirmwareController::Listener
    void RunLogCleared() override {}
    void RunLogLine(const QString&, FirmwareController::LineKind) override {}
    void ImageLoaded(const QString&, int length) override { imageLength_ = length; }
    void FileRefused(const QString& message) override { Finish(Result::Refused, message); }
    void Progress(int position) override;
    void DeviceInfo(const QString& text) override;
    void Ended(FirmwareController::End end) override;
    // BeeperListener
    void OnBeeperState(bool enabled) override;
    // FactoryResetListener
    void OnResetStarted() override {}
    void OnResetDone() override { Next(); }
    void OnResetFinished() override {}
    void OnResetTimedOut() override;
    // EdidListener
    EdidChoice CurrentChoice() const override { return job_.edid; }
    void OnEdidEnd(EdidListener::End end) override;

    void PlanSteps();
    // Runs the next step once the handler that ended the last one has returned.
    void Next();
    void RunStep();
    void OnPage(std::uint8_t page) { session_.Router().SetCurrentPage(page); }
    // A step the guard refused: the session has said why, or an exchange is still out.
    void Sent(bool sent);
    void WaitForAnswer();
    void StopWaiting();
    void Finish(Result result, const QString& error = {}, const QString& detail = {});

    Clock& clock_;
    QString device_;
    Job job_;
    DeviceSession session_;
    SwitchController switch_;
    FirmwareController firmware_;
    EdidController edid_;
    BeeperController beeper_;
    FactoryResetController reset_;

    std::deque<std::function<void()>> steps_;
    Clock::TimerToken wait_ = 0;
    bool waitingForBeeper_ = false;
    bool waitingForInfo_ = false;
    int imageLength_ = 0;
    Result result_ = Result::Running;
    QString error_;
    QString detail_;
    QJsonObject values_;
};

}  // namespace corvane::cli
