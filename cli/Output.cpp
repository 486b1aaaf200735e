#include "cli/Output.h"

#include <QJsonDocument>

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace corvane::cli {

void PrintOut(const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

void PrintErr(const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

void PrintJson(const QJsonObject& object) {
    PrintOut(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) + '\n');
}

ProgressView::ProgressView(const std::vector<QString>& devices)
    : terminal_(::isatty(STDERR_FILENO) == 1), order_(devices) {
    started_.start();
}

void ProgressView::Update(const QString& device, int position, int length) {
    Line& line = lines_[device];
    line.position = position;
    line.length = length;
    if (terminal_) {
        Draw(position >= length);
        return;
    }
    const int decile = length > 0 ? position * 10 / length : 10;
    if (decile <= line.decile) return;
    line.decile = decile;
    PrintErr(QStringLiteral("%1: %2% (%3/%4 bytes)\n")
                 .arg(device)
                 .arg(decile * 10)
                 .arg(position)
                 .arg(length));
}

void ProgressView::Draw(bool force) {
    const qint64 now = started_.elapsed();
    if (!force && now - lastDrawMs_ < 100) return;
    lastDrawMs_ = now;
    QString text;
    // Back to the first line of the block drawn before.
    if (drawn_ && order_.size() > 1) text += QStringLiteral("\x1b[%1A").arg(order_.size() - 1);
    text += QLatin1Char('\r');
    constexpr int kWidth = 30;
    for (std::size_t i = 0; i < order_.size(); ++i) {
        const Line line = lines_.count(order_[i]) ? lines_[order_[i]] : Line{};
        const int filled = line.length > 0 ? line.position * kWidth / line.length : 0;
        const double seconds = std::max<qint64>(now, 1) / 1000.0;
        const double rate = line.position / seconds;
        const int left = rate > 0 ? int((line.length - line.position) / rate + 0.5) : 0;
        text += QStringLiteral("%1 [%2%3] %4% %5/%6 blocks %7/%8 B %9 kB/s %10:%11 left\x1b[K")
                    .arg(order_[i])
                    .arg(QString(filled, QLatin1Char('#')))
                    .arg(QString(kWidth - filled, QLatin1Char('-')))
                    .arg(line.length > 0 ? line.position * 100 / line.length : 0, 3)
                    .arg((line.position + 255) / 256)
                    .arg((line.length + 255) / 256)
                    .arg(line.position)
                    .arg(line.length)
                    .arg(rate / 1000.0, 0, 'f', 1)
                    .arg(left / 60)
                    .arg(left % 60, 2, 10, QLatin1Char('0'));
        if (i + 1 < order_.size()) text += QStringLiteral("\n\r");
    }
    drawn_ = true;
    PrintErr(text);
}

void ProgressView::Close() {
    if (!terminal_ || !drawn_) return;
    Draw(true);
    PrintErr(QStringLiteral("\n"));
    drawn_ = false;
}

int Report(const std::vector<std::unique_ptr<DeviceRun>>& runs, const QString& command, bool json,
           bool quiet) {
    int worst = 0;
    const bool several = runs.size() > 1;
    for (const auto& run : runs) {
        worst = std::max(worst, ExitCodeOf(run->GetResult()));
        if (!run->Error().isEmpty() && run->GetResult() != Result::Confirmed) {
            const QString prefix = several ? run->Device() + QStringLiteral(": ") : QString();
            QString text = prefix + run->Error() + QLatin1Char('\n');
            if (!run->ErrorDetail().isEmpty())
                text += prefix + run->ErrorDetail() + QLatin1Char('\n');
            PrintErr(text);
        }
    }
    for (const auto& run : runs) {
        if (json) {
            QJsonObject o;
            o[QStringLiteral("device")] = run->Device();
            o[QStringLiteral("command")] = command;
            o[QStringLiteral("result")] = ResultName(run->GetResult());
            o[QStringLiteral("values")] = run->Values();
            if (!run->Error().isEmpty()) {
                o[QStringLiteral("error")] =
                    run->ErrorDetail().isEmpty()
                        ? run->Error()
                        : run->Error() + QLatin1Char(' ') + run->ErrorDetail();
            }
            PrintJson(o);
            continue;
        }
        if (quiet) continue;
        const QString prefix = several ? run->Device() + QStringLiteral(": ") : QString();
        const QJsonObject& values = run->Values();
        for (auto it = values.begin(); it != values.end(); ++it)
            PrintOut(prefix + it.key() + QStringLiteral(": ") + it.value().toString() +
                     QLatin1Char('\n'));
        if (!several && run->GetResult() == Result::Confirmed)
            PrintOut(command + QStringLiteral(": confirmed\n"));
    }
    if (several && !json && !quiet) {
        int width = 6;
        for (const auto& run : runs)
            width = std::max(width, int(run->Device().size()));
        QString table = QStringLiteral("\n%1  %2  %3\n")
                            .arg(QStringLiteral("DEVICE"), -width)
                            .arg(QStringLiteral("RESULT"), -11)
                            .arg(QStringLiteral("EXIT"));
        for (const auto& run : runs) {
            table += QStringLiteral("%1  %2  %3\n")
                         .arg(run->Device(), -width)
                         .arg(ResultName(run->GetResult()), -11)
                         .arg(ExitCodeOf(run->GetResult()));
        }
        PrintOut(table);
    }
    return worst;
}

}  // namespace corvane::cli
