#include "app/TrafficMonitor.h"

#include <QAction>
#include <QClipboard>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace corvane {
namespace {

QString AskForSaveFile(QWidget* parent) {
    return QFileDialog::getSaveFileName(parent, QStringLiteral("Save Traffic"),
                                        QStringLiteral("corvane-traffic.txt"),
                                        QStringLiteral("Text files (*.txt);;All files (*)"));
}

}  // namespace

TrafficMonitor::TrafficMonitor(TrafficModel& model, QWidget* parent)
    : QWidget(parent, Qt::Window),
      model_(model),
      view_(new QTableView(this)),
      count_(new QLabel(this)),
      status_(new QLabel(this)),
      chooseSave_(&AskForSaveFile) {
    setWindowTitle(QStringLiteral("Corvane Traffic"));
    resize(960, 480);

    view_->setModel(&model_);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view_->setWordWrap(false);
    view_->setTextElideMode(Qt::ElideRight);
    view_->verticalHeader()->hide();
    // Fixed row heights: the view need not measure 10,000 rows.
    view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 4);
    view_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    QHeaderView* header = view_->horizontalHeader();
    const QFontMetrics fm(view_->font());
    header->resizeSection(TrafficModel::kTime,
                          fm.horizontalAdvance(QStringLiteral("00:00:00.000")) + 16);
    header->resizeSection(TrafficModel::kDirection,
                          fm.horizontalAdvance(QStringLiteral("received")) + 16);
    header->resizeSection(TrafficModel::kBytes,
                          fm.horizontalAdvance(QString(13 * 3, QLatin1Char('0'))) + 16);
    header->setStretchLastSection(true);

    auto* copy = new QPushButton(QStringLiteral("Copy"), this);
    auto* save = new QPushButton(QStringLiteral("Save..."), this);
    auto* clear = new QPushButton(QStringLiteral("Clear"), this);
    auto* copyKey = new QAction(view_);
    copyKey->setShortcut(QKeySequence::Copy);
    copyKey->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    view_->addAction(copyKey);
    connect(copyKey, &QAction::triggered, this, [this] { CopySelection(); });
    connect(copy, &QPushButton::clicked, this, [this] { CopySelection(); });
    connect(save, &QPushButton::clicked, this, [this] { SaveTrace(); });
    connect(clear, &QPushButton::clicked, this, [this] {
        model_.Clear();
        status_->clear();
    });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(copy);
    buttons->addWidget(save);
    buttons->addWidget(clear);
    buttons->addSpacing(12);
    buttons->addWidget(count_);
    buttons->addStretch(1);
    buttons->addWidget(status_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_, 1);
    layout->addLayout(buttons);

    // New rows are followed while the view is at its end, and left alone once the operator
    // has scrolled up to read.
    QScrollBar* bar = view_->verticalScrollBar();
    connect(&model_, &QAbstractItemModel::rowsAboutToBeInserted, this,
            [this, bar] { atBottom_ = bar->value() >= bar->maximum(); });
    connect(&model_, &QAbstractItemModel::rowsInserted, this, [this] { FollowNewRows(); });
    connect(&model_, &QAbstractItemModel::rowsRemoved, this, [this] { UpdateCount(); });
    connect(&model_, &QAbstractItemModel::modelReset, this, [this] { UpdateCount(); });
    UpdateCount();
    view_->scrollToBottom();
}

void TrafficMonitor::FollowNewRows() {
    UpdateCount();
    if (atBottom_) view_->scrollToBottom();
}

void TrafficMonitor::UpdateCount() {
    QString text = QStringLiteral("%1 entries").arg(model_.rowCount());
    if (model_.Dropped() > 0) text += QStringLiteral(" (%1 older dropped)").arg(model_.Dropped());
    count_->setText(text);
}

QString TrafficMonitor::StatusText() const {
    return status_->text();
}

QString TrafficMonitor::CopySelection() {
    QList<QModelIndex> rows = view_->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QString text;
    for (const QModelIndex& index : rows)
        text += model_.LineText(index.row()) + QLatin1Char('\n');
    if (!text.isEmpty()) QGuiApplication::clipboard()->setText(text);
    return text;
}

bool TrafficMonitor::SaveTrace() {
    const QString path = chooseSave_(this);
    if (path.isEmpty()) return false;
    QSaveFile file(path);
    const QByteArray bytes = model_.AllText().toUtf8();
    const bool written = file.open(QIODevice::WriteOnly | QIODevice::Text) &&
                         file.write(bytes) == bytes.size() && file.commit();
    if (written) {
        status_->setText(QStringLiteral("Saved %1 entries to %2").arg(model_.rowCount()).arg(path));
    } else {
        status_->setText(QStringLiteral("Could not save to %1: %2").arg(path, file.errorString()));
    }
    return written;
}

}  // namespace corvane
