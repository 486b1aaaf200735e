#include "cli/Network.h"

#include "cli/Options.h"
#include "cli/Output.h"
#include "link/QtSockets.h"
#include "session/DeviceSession.h"
#include "session/NetworkController.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTimer>

namespace corvane::cli {
namespace {

constexpr int kDefaultWaitSeconds = 3;
const QString kConfigUsage =
    QStringLiteral("config takes --mac MAC (--dhcp | --static IP) [--new-mac MAC]\n");

// Splits "02:43:56:00:00:01" (or with '-', or 12 digits in a row) into the dialog's six fields.
std::array<QString, 6> MacFields(const QString& text) {
    std::array<QString, 6> fields;
    QStringList parts = text.split(QRegularExpression(QStringLiteral("[:-]")));
    if (parts.size() == 1 && text.size() == 12) {
        parts.clear();
        for (int i = 0; i < 12; i += 2)
            parts << text.mid(i, 2);
    }
    if (parts.size() != 6) {
        fields[0] = text;  // refused by the dialog's check
        return fields;
    }
    for (int i = 0; i < 6; ++i)
        fields[static_cast<std::size_t>(i)] = parts[i].toUpper();
    return fields;
}

std::array<QString, 4> IpFields(const QString& text) {
    std::array<QString, 4> fields;
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4) {
        fields[0] = text.isEmpty() ? QStringLiteral("-") : text;
        return fields;
    }
    for (int i = 0; i < 4; ++i)
        fields[static_cast<std::size_t>(i)] = parts[i];
    return fields;
}

// The listener: what the search found, and the configuration's end.
class Watcher final : public NetworkListener {
public:
    void OnSwitcherListed(int, const FoundSwitcher&) override {}
    void OnTargetChanged(int, const SwitcherTarget&) override {}
    void OnConfigConfirmed() override { End(kExitConfirmed); }
    void OnConfigFinished() override {}
    void OnConfigTimedOut() override { End(kExitFailed); }

    void End(int code) {
        if (ended) return;
        ended = true;
        exitCode = code;
        QCoreApplication::exit(0);
    }
    bool ended = false;
    int exitCode = kExitFailed;
};

// The search and configuration controller on Qt's sockets, with no device link.
struct NetworkRun {
    NetworkRun() {
        network.SetListener(&watcher);
        network.UseSockets(sockets);
    }
    ~NetworkRun() { network.SetListener(nullptr); }

    QtClock clock;
    QtSocketFactory sockets;
    DeviceSession session{clock};
    NetworkController network{session, clock, session.Log()};
    Watcher watcher;
};

}  // namespace

int RunSearch(const QStringList& args, bool json, bool quiet) {
    int seconds = kDefaultWaitSeconds;
    if (!args.isEmpty()) {
        bool ok = args.size() == 2 && args[0] == QLatin1String("--wait");
        if (ok) seconds = args[1].toInt(&ok);
        if (!ok || seconds < 1) {
            PrintErr(QStringLiteral("search takes [--wait SECONDS]\n"));
            return kExitUsage;
        }
    }
    NetworkRun run;
    run.network.Search();
    QTimer::singleShot(seconds * 1000, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
    for (const FoundSwitcher& found : run.network.Found()) {
        if (json) {
            QJsonObject o;
            o[QStringLiteral("ip")] = found.address;
            o[QStringLiteral("mac")] = found.mac;
            PrintJson(o);
        } else if (!quiet) {
            PrintOut(found.address + QStringLiteral("  ") + found.mac + '\n');
        }
    }
    return run.network.Found().empty() ? kExitFailed : kExitConfirmed;
}

int RunConfig(const QStringList& args, bool json, bool quiet) {
    ConfigRequest request;
    QString mac, ip, newMac;
    bool dhcp = false, fixed = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == QLatin1String("--mac") && hasValue) {
            mac = args[++i];
        } else if (a == QLatin1String("--static") && hasValue) {
            ip = args[++i];
            fixed = true;
        } else if (a == QLatin1String("--new-mac") && hasValue) {
            newMac = args[++i];
        } else if (a == QLatin1String("--dhcp")) {
            dhcp = true;
        } else {
            PrintErr(kConfigUsage);
            return kExitUsage;
        }
    }
    if (mac.isEmpty() || dhcp == fixed) {
        PrintErr(kConfigUsage);
        return kExitUsage;
    }
    request.addressMode = fixed ? kStaticIp : kAutoIp;
    request.targetMac = MacFields(mac);
    request.newMac = MacFields(newMac.isEmpty() ? mac : newMac);
    if (fixed) request.newIp = IpFields(ip);
    // The switcher's own MAC is checked as a new one would be: nothing goes out to a typo.
    QString error = AddressInputError(kAutoIp, {}, request.targetMac);
    if (error.isEmpty()) error = ConfigRequestError(request);
    if (!error.isEmpty()) {
        PrintErr(error + '\n');
        return kExitUsage;
    }

    NetworkRun run;
    error = run.network.Configure(request);
    if (!error.isEmpty()) {
        PrintErr(error + '\n');
        return kExitUsage;
    }
    QCoreApplication::exec();
    const int exitCode = run.watcher.exitCode;
    if (exitCode != kExitConfirmed) {
        run.network.TimeOutSeen();
        PrintErr(QStringLiteral("Time out!\n"));
    }
    if (json) {
        QJsonObject o;
        o[QStringLiteral("device")] = mac;
        o[QStringLiteral("command")] = QStringLiteral("config");
        o[QStringLiteral("result")] =
            exitCode == kExitConfirmed ? QStringLiteral("confirmed") : QStringLiteral("timeout");
        PrintJson(o);
    } else if (!quiet && exitCode == kExitConfirmed) {
        PrintOut(QStringLiteral("Configure successfully!\n"));
    }
    return exitCode;
}

}  // namespace corvane::cli
