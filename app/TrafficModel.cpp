#include "app/TrafficModel.h"

#include <QBrush>
#include <QColor>

namespace corvane {
namespace {

// Times are kept in UTC and shown in local time.
QString TimeText(const QDateTime& t) {
    return t.toLocalTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
}

QString BytesText(const std::vector<std::uint8_t>& bytes) {
    QString text = QString::fromStdString(HexBytes(bytes.data(), bytes.size()));
    return text.trimmed();
}

// "received on eth1" for a datagram, so that a trace shows which adapter reached the switcher.
QString DirectionCell(const TrafficEntry& e) {
    QString text = QLatin1String(DirectionText(e.kind));
    if (!e.interfaceName.isEmpty()) text += QStringLiteral(" on ") + e.interfaceName;
    return text;
}

}  // namespace

TrafficModel::TrafficModel(TimeSource now, QObject* parent)
    : QAbstractTableModel(parent), now_(std::move(now)) {}

void TrafficModel::Add(TrafficKind kind, const std::uint8_t* bytes, std::size_t length,
                       const QString& interfaceName) {
    if (static_cast<int>(entries_.size()) >= kMaxEntries) {
        beginRemoveRows({}, 0, 0);
        entries_.pop_front();
        ++dropped_;
        endRemoveRows();
    }
    const int row = static_cast<int>(entries_.size());
    beginInsertRows({}, row, row);
    entries_.push_back({now_(), kind, std::vector<std::uint8_t>(bytes, bytes + length),
                        DecodeTraffic(kind, bytes, length), interfaceName});
    endInsertRows();
}

void TrafficModel::Clear() {
    beginResetModel();
    entries_.clear();
    dropped_ = 0;
    endResetModel();
}

QString TrafficModel::LineText(int row) const {
    const TrafficEntry& e = Entry(row);
    return TimeText(e.time) + QLatin1Char('\t') + DirectionCell(e) + QLatin1Char('\t') +
           BytesText(e.bytes) + QLatin1Char('\t') + QString::fromStdString(e.meaning.Text());
}

QString TrafficModel::AllText() const {
    QString text;
    for (int row = 0; row < rowCount(); ++row)
        text += LineText(row) + QLatin1Char('\n');
    return text;
}

int TrafficModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(entries_.size());
}

int TrafficModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant TrafficModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const TrafficEntry& e = Entry(index.row());
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
            case kTime:
                return e.time.toLocalTime().toString(QStringLiteral("hh:mm:ss.zzz"));
            case kDirection:
                return DirectionCell(e);
            case kBytes:
                return BytesText(e.bytes);
            case kMeaning:
                return QString::fromStdString(e.meaning.Text());
            default:
                return {};
        }
    }
    if (role == Qt::ToolTipRole && index.column() == kBytes && e.bytes.size() > kFrameSize) {
        return QStringLiteral("%1 bytes").arg(e.bytes.size());
    }
    if (role == Qt::ForegroundRole && e.meaning.check == CheckResult::Bad) {
        return QBrush(QColor(200, 0, 0));
    }
    return {};
}

QVariant TrafficModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
        case kTime:
            return QStringLiteral("Time");
        case kDirection:
            return QStringLiteral("Direction");
        case kBytes:
            return QStringLiteral("Bytes");
        case kMeaning:
            return QStringLiteral("Meaning");
        default:
            return {};
    }
}

}  // namespace corvane
