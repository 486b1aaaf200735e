#include "cli/Options.h"

namespace corvane::cli {

namespace {

const QStringList kDeviceCommands = {
    QStringLiteral("info"),     QStringLiteral("switch"),        QStringLiteral("resolution"),
    QStringLiteral("audio"),    QStringLiteral("vga"),           QStringLiteral("auto-adjust"),
    QStringLiteral("scaler"),   QStringLiteral("edid"),          QStringLiteral("beep"),
    QStringLiteral("firmware"), QStringLiteral("factory-reset"),
};
const QStringList kOtherCommands = {QStringLiteral("ports"), QStringLiteral("search"),
                                    QStringLiteral("config")};

}  // namespace

bool IsDeviceCommand(const QString& command) {
    return kDeviceCommands.contains(command);
}

bool ParseOptions(const QStringList& argv, Options& options, QString& error) {
    int i = 0;
    for (; i < argv.size(); ++i) {
        const QString& a = argv[i];
        auto value = [&](QString& out) {
            if (i + 1 >= argv.size()) {
                error = a + QStringLiteral(" needs a value");
                return false;
            }
            out = argv[++i];
            return true;
        };
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            options.help = true;
        } else if (a == QLatin1String("--json")) {
            options.json = true;
        } else if (a == QLatin1String("--quiet") || a == QLatin1String("-q")) {
            options.quiet = true;
        } else if (a == QLatin1String("--port")) {
            QString port;
            if (!value(port)) return false;
            options.ports << port;
        } else if (a.startsWith(QLatin1String("--port="))) {
            options.ports << a.mid(7);
        } else if (a == QLatin1String("--host")) {
            if (!value(options.host)) return false;
        } else if (a.startsWith(QLatin1String("--host="))) {
            options.host = a.mid(7);
        } else if (a.startsWith(QLatin1Char('-'))) {
            error = QStringLiteral("unknown option ") + a;
            return false;
        } else {
            break;
        }
    }
    if (i < argv.size()) {
        options.command = argv[i];
        options.args = argv.mid(i + 1);
    }
    if (options.help && options.command.isEmpty()) return true;
    if (options.command.isEmpty()) {
        error = QStringLiteral("no command given");
        return false;
    }
    if (!kDeviceCommands.contains(options.command) && !kOtherCommands.contains(options.command)) {
        error = QStringLiteral("unknown command ") + options.command;
        return false;
    }
    if (options.args.contains(QStringLiteral("--help"))) {
        options.help = true;
        return true;
    }
    if (IsDeviceCommand(options.command)) {
        if (options.ports.isEmpty() == options.host.isEmpty()) {
            error = QStringLiteral("give either --port (one or more) or --host");
            return false;
        }
    }
    return true;
}

QString UsageText() {
    return QStringLiteral(
        "Usage: corvane-cli [--port DEVICE]... [--host ADDRESS] [--json] [--quiet] COMMAND "
        "[ARGS...]\n"
        "\n"
        "Options:\n"
        "  --port DEVICE   a port from the list (ttyUSB0) or a path to a serial device;\n"
        "                  may be given several times: the command runs on all at once\n"
        "  --host ADDRESS  the switcher's IPv4 address (TCP port 8000)\n"
        "  --json          one JSON object per device on stdout when the command ends\n"
        "  --quiet         print errors only\n"
        "  --help          this text; COMMAND --help for a command's arguments\n"
        "\n"
        "Commands:\n"
        "  ports                         the serial ports, with who holds a busy one\n"
        "  search [--wait SECONDS]       look for switchers on the network (IP and MAC)\n"
        "  config --mac MAC (--dhcp | --static IP) [--new-mac MAC]\n"
        "                                set a switcher's network configuration\n"
        "  info                          device type, size, version, beeper and switch state\n"
        "  switch hdmi1|hdmi2|hdmi3|hdmi4|dvi|vga1|vga2|cv\n"
        "  resolution 1920x1200|1080p|1360x768|720p|1024x768\n"
        "  audio int|ext\n"
        "  vga ypbpr|rgbhv               the VGA format of the VGA input in use\n"
        "  auto-adjust\n"
        "  scaler\n"
        "  edid ACTION ...               see corvane-cli edid --help\n"
        "  beep on|off\n"
        "  factory-reset --yes\n"
        "  firmware FILE                 upgrade with a .fw file\n"
        "\n"
        "Exit codes:\n"
        "  0    done, and the device confirmed it\n"
        "  1    the device did not confirm (time-out) or reported a failure\n"
        "  2    bad usage or refused input, with nothing sent\n"
        "  3    link failure: the port cannot be opened, the connection is refused,\n"
        "       or the link is lost mid-way\n"
        "  130  interrupted\n"
        "With several ports the exit code is the worst of all.\n");
}

}  // namespace corvane::cli
