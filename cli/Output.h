#pragma once
// What corvane-cli prints: errors on stderr, the firmware progress on stderr (a bar on a
// terminal, a line per 10 % elsewhere), the results as lines, JSON objects or a summary table.

#include "cli/DeviceRun.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QString>

#include <map>
#include <memory>
#include <vector>

namespace corvane::cli {

void PrintOut(const QString& text);
void PrintErr(const QString& text);
// One JSON object on a line of its own on stdout.
void PrintJson(const QJsonObject& object);

class ProgressView {
public:
    // One line per device, in this order.
    explicit ProgressView(const std::vector<QString>& devices);
    void Update(const QString& device, int position, int length);
    // Leaves the bar's lines behind before anything else is printed.
    void Close();

private:
    struct Line {
        int position = 0;
        int length = 0;
        int decile = 0;
    };
    void Draw(bool force);

    bool terminal_;
    std::vector<QString> order_;
    std::map<QString, Line> lines_;
    QElapsedTimer started_;
    qint64 lastDrawMs_ = -1000;
    bool drawn_ = false;
};

// Prints each run's end as the options ask and returns the exit code: the worst of all.
int Report(const std::vector<std::unique_ptr<DeviceRun>>& runs, const QString& command, bool json,
           bool quiet);

}  // namespace corvane::cli
