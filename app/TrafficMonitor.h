#pragma once
// The traffic monitor window: every frame and block sent, every frame received and the search
// and configuration datagrams, live, with their meaning. The operator can copy a selection and
// save the whole trace to a file.

#include "app/TrafficModel.h"

#include <QString>
#include <QWidget>

#include <functional>

class QLabel;
class QTableView;

namespace corvane {

class TrafficMonitor : public QWidget {
    Q_OBJECT
public:
    // Asks the operator for the file to save to; an empty name cancels. Tests replace it.
    using SaveChooser = std::function<QString(QWidget* parent)>;

    explicit TrafficMonitor(TrafficModel& model, QWidget* parent = nullptr);

    void SetSaveChooser(SaveChooser chooser) { chooseSave_ = std::move(chooser); }

    // The selected rows, oldest first, as lines of text; also put on the clipboard.
    QString CopySelection();
    // Asks for a file and writes the whole trace to it. True when the file was written.
    bool SaveTrace();

    QTableView* View() const { return view_; }
    QString StatusText() const;

private:
    void UpdateCount();
    void FollowNewRows();

    TrafficModel& model_;
    QTableView* view_;
    QLabel* count_;
    QLabel* status_;
    SaveChooser chooseSave_;
    bool atBottom_ = true;
};

}  // namespace corvane
