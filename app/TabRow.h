#pragma once
// The main window's tab row as assistive technology sees it: a page tab list whose tabs are the
// four self-drawn tab labels, the one in front selected. The labels stay plain statics on the
// window's surface; only their accessible interfaces change.

#include <QLabel>

#include <array>

namespace corvane {

class CCorvaneDlg;

// A tab label: a class of its own so that its accessible interface is a tab, not a static.
class TabLabel : public QLabel {
    Q_OBJECT
public:
    TabLabel(int page, const QString& text, QWidget* parent);
    int Page() const { return page_; }

private:
    int page_;
};

// Stands for the row in the accessibility tree, between the window and its tabs. It draws
// nothing and takes no input.
class TabRow : public QObject {
    Q_OBJECT
public:
    TabRow(CCorvaneDlg& window, const std::array<TabLabel*, 4>& tabs);

    CCorvaneDlg& Window() const { return window_; }
    const std::array<TabLabel*, 4>& Tabs() const { return tabs_; }
    // Tells assistive technology that the page in front went from oldPage to newPage.
    void NotifySelection(int oldPage, int newPage) const;

    // Makes the main window, its tab row and its tabs known to the accessibility framework;
    // once per program.
    static void InstallAccessibleInterfaces();

private:
    CCorvaneDlg& window_;
    std::array<TabLabel*, 4> tabs_;
};

}  // namespace corvane
