#pragma once
// The traffic monitor's record: the last 10,000 units that crossed the link, each with its time,
// direction, bytes and decoded meaning, as a table for the monitor's view and as text.

#include "link/TrafficDecoder.h"
#include "link/TrafficLog.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

namespace corvane {

struct TrafficEntry {
    QDateTime time;
    TrafficKind kind = TrafficKind::Sent;
    std::vector<std::uint8_t> bytes;
    TrafficMeaning meaning;
    QString interfaceName;  // the network interface a datagram used; empty for frames
};

class TrafficModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kMaxEntries = 10000;
    enum Column { kTime, kDirection, kBytes, kMeaning, kColumns };

    using TimeSource = std::function<QDateTime()>;
    explicit TrafficModel(TimeSource now = &QDateTime::currentDateTimeUtc,
                          QObject* parent = nullptr);

    // The observer of the traffic log. The oldest entry goes once the record is full.
    void Add(TrafficKind kind, const std::uint8_t* bytes, std::size_t length,
             const QString& interfaceName = {});
    void Clear();

    const TrafficEntry& Entry(int row) const { return entries_[static_cast<std::size_t>(row)]; }
    // Entries dropped from the front since the last Clear.
    std::uint64_t Dropped() const { return dropped_; }

    // One entry as a line of text: time, direction (with the interface of a datagram), bytes,
    // meaning, separated by tabs.
    QString LineText(int row) const;
    // Every entry, one line each, oldest first.
    QString AllText() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    TimeSource now_;
    std::deque<TrafficEntry> entries_;
    std::uint64_t dropped_ = 0;
};

}  // namespace corvane
