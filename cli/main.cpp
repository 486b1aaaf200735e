// corvane-cli: every device action from a shell, on one device or many at once. The exchanges
// are the session layer's controllers; this program parses the command line, wires one
// session per device to them, and turns their ends into output and exit codes.
#include "cli/DeviceRun.h"
#include "cli/Network.h"
#include "cli/Options.h"
#include "cli/Output.h"
#include "cli/Ports.h"
#include "link/QtSockets.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <memory>
#include <vector>

namespace corvane::cli {
namespace {

int signalPipe[2] = {-1, -1};

extern "C" void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

// Only what the image check looks at: a controller made with it sends nothing.
class NoLink final : public SessionHost {
public:
    bool CheckLinkReady() override { return false; }
    bool IsReady() const override { return true; }
    void SetReady(bool) override {}
    void PostSendRequest(int) override {}
    void SendFrame(Frame&) override {}
    void StartMainTimeout() override {}
    TransmitBuffers& Tx() override { return tx_; }

private:
    TransmitBuffers tx_;
};

class RefusalCatcher final : public FirmwareController::Listener {
public:
    void RunLogCleared() override {}
    void RunLogLine(const QString&, FirmwareController::LineKind) override {}
    void ImageLoaded(const QString&, int) override {}
    void FileRefused(const QString& text) override { message = text; }
    void Progress(int) override {}
    void DeviceInfo(const QString&) override {}
    void Ended(FirmwareController::End) override {}
    QString message;
};

// Reads the .fw file and checks it as the firmware page does, before any port is opened.
bool LoadFirmwareFile(Job& job) {
    QFile file(job.imagePath);
    if (!file.open(QIODevice::ReadOnly)) {
        PrintErr(
            QStringLiteral("Invalid file(.fw)!\n%1: %2\n").arg(job.imagePath, file.errorString()));
        return false;
    }
    job.image = file.read(kFirmwareImageCapacity + 1);
    job.imagePath = QFileInfo(job.imagePath).absoluteFilePath();
    QtClock clock;
    NoLink host;
    FirmwareController check(host, clock);
    RefusalCatcher catcher;
    check.SetListener(&catcher);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(job.image.constData());
    const auto result = check.LoadImage(
        std::span(bytes, static_cast<std::size_t>(job.image.size())), job.imagePath);
    if (result == FirmwareController::LoadResult::Loaded) return true;
    PrintErr((catcher.message.isEmpty() ? QStringLiteral("Invalid file(.fw)!") : catcher.message) +
             '\n');
    return false;
}

bool IsDottedIpv4(const QString& text) {
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4) return false;
    for (const QString& p : parts) {
        bool ok = false;
        const int v = p.toInt(&ok);
        if (p.isEmpty() || p.size() > 3 || !ok || v < 0 || v > 255 ||
            p.contains(QRegularExpression(QStringLiteral("[^0-9]"))))
            return false;
    }
    return true;
}

int RunDevices(const Options& options) {
    Job job;
    QString error;
    if (!ParseJob(options.command, options.args, job, error)) {
        PrintErr(QStringLiteral("corvane-cli: %1\n").arg(error));
        return kExitUsage;
    }
    if (job.kind == Job::Kind::Firmware && !LoadFirmwareFile(job)) return kExitUsage;
    if (!options.host.isEmpty() && !IsDottedIpv4(options.host)) {
        PrintErr(QStringLiteral("Invalid IP address!\n"));
        return kExitUsage;
    }

    QtClock clock;
    QtSocketFactory sockets;
    std::vector<std::unique_ptr<DeviceRun>> runs;
    std::vector<QString> names;
    const QStringList targets = options.host.isEmpty() ? options.ports : QStringList{options.host};
    for (const QString& target : targets) {
        names.push_back(target);
        runs.push_back(std::make_unique<DeviceRun>(clock, target, job));
    }
    ProgressView progress(names);
    const bool showProgress = job.kind == Job::Kind::Firmware && !options.quiet;
    std::size_t open = runs.size();
    auto finished = [&](DeviceRun&) {
        if (--open == 0) QCoreApplication::exit(0);
    };
    for (auto& run : runs) {
        run->onFinished = finished;
        if (showProgress) {
            run->onProgress = [&](DeviceRun& r, int position, int length) {
                progress.Update(r.Device(), position, length);
            };
        }
    }

    // Ctrl+C and SIGTERM: every run stops sending and releases its port.
    bool interrupted = false;
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        char buf[16];
        [[maybe_unused]] const ssize_t n = ::read(signalPipe[0], buf, sizeof buf);
        interrupted = true;
        for (auto& run : runs)
            run->Interrupt();
    });

    for (std::size_t i = 0; i < runs.size(); ++i) {
        DeviceRun& run = *runs[i];
        if (options.host.isEmpty()) {
            // Numbered by their place on the command line; a port that cannot be opened ends
            // its own run only.
            if (run.OpenSerial(DevicePathOf(options.ports[int(i)]), unsigned(i + 1))) run.Start();
        } else {
            run.ConnectTcp(sockets, options.host, kSwitcherTcpPort);
        }
    }
    if (open > 0) QCoreApplication::exec();
    progress.Close();
    const int code = Report(runs, options.command, options.json, options.quiet);
    runs.clear();  // every port thread ends here
    return interrupted ? kExitInterrupted : code;
}

}  // namespace
}  // namespace corvane::cli

int main(int argc, char** argv) {
    using namespace corvane::cli;
    QCoreApplication app(argc, argv);
    QStringList argv_ = QCoreApplication::arguments();
    argv_.removeFirst();
    Options options;
    QString error;
    if (!ParseOptions(argv_, options, error)) {
        PrintErr(QStringLiteral("corvane-cli: %1\nTry 'corvane-cli --help'.\n").arg(error));
        return kExitUsage;
    }
    if (options.help) {
        PrintOut(options.command == QLatin1String("edid") ? EdidUsageText() : UsageText());
        return kExitConfirmed;
    }
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return kExitFailed;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);

    if (options.command == QLatin1String("ports")) return ListPorts(options.json, options.quiet);
    if (options.command == QLatin1String("search"))
        return RunSearch(options.args, options.json, options.quiet);
    if (options.command == QLatin1String("config"))
        return RunConfig(options.args, options.json, options.quiet);
    return RunDevices(options);
}
