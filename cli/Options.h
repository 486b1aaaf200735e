#pragma once
// The command line of corvane-cli: options, the command and its arguments, and the exit codes.

#include <QString>
#include <QStringList>

namespace corvane::cli {

enum ExitCode : int {
    kExitConfirmed = 0,
    kExitFailed = 1,      // the device did not confirm, or reported a failure
    kExitUsage = 2,       // bad usage or refused input; nothing was sent
    kExitLinkFailed = 3,  // the port or connection could not be used, or was lost
    kExitInterrupted = 130,
};

struct Options {
    QStringList ports;
    QString host;
    bool json = false;
    bool quiet = false;
    bool help = false;
    QString command;
    QStringList args;
};

// Parses argv without the program name. On a usage error returns false and sets error.
bool ParseOptions(const QStringList& argv, Options& options, QString& error);

// Whether the command talks to a device over --port or --host.
bool IsDeviceCommand(const QString& command);

QString UsageText();

}  // namespace corvane::cli
