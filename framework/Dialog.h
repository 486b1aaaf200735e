#pragma once
// CDialog: a window built from a dialog template, with its controls filed by id, its own window
// timers, command notifications, the key filter, and modal runs that report to a continuation.

#include "framework/Clock.h"
#include "framework/DialogTemplate.h"
#include "framework/WindowTimers.h"

#include <QPixmap>
#include <QWidget>

#include <functional>
#include <map>
#include <optional>

namespace corvane {

enum class Notify { Clicked, SelChange };

constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

// The image of icon or bitmap resource id at the given size (null when there is none).
QPixmap ResourcePixmap(int id, QSize size);

class CDialog : public QWidget {
    Q_OBJECT
public:
    CDialog(const DialogTemplate& dialogTemplate, Clock& clock, QWidget* parent = nullptr);
    ~CDialog() override;

    // Runs OnInitDialog once; the window's creator calls it (a modal run and the first show do
    // it too when nobody has).
    void InitDialog();
    int TemplateId() const { return templateId_; }
    const DialogBaseUnits& Units() const { return units_; }
    // Pixel rectangle of a template rectangle.
    QRect MapDialogRect(int x, int y, int w, int h) const { return units_.ToPixels(x, y, w, h); }

    QWidget* Item(int id) const;
    // Files replacement under id in place of the control the template made, as subclassing a
    // control does on the platform: same geometry, visibility, enabled state, stacking and tab
    // position, and a button's clicks still come to OnCommand. The old widget is deleted.
    // Returns false when there is no such control.
    bool ReplaceItem(int id, QWidget* replacement);
    template <class T>
    T* ItemAs(int id) const {
        return qobject_cast<T*>(Item(id));
    }

    // The common control operations, whatever widget stands for the control.
    void SetItemText(int id, const QString& text);
    QString ItemText(int id) const;
    void CheckItem(int id, bool checked);
    bool IsItemChecked(int id) const;
    void EnableItem(int id, bool enabled);
    bool IsItemEnabled(int id) const;
    void ShowItem(int id, bool visible);

    // Window timers of this window.
    void SetTimer(int id, int ms) { timers_.SetTimer(id, ms); }
    void KillTimer(int id) { timers_.KillTimer(id); }
    bool IsTimerRunning(int id) const { return timers_.IsRunning(id); }
    Clock& clock() const { return clock_; }
    // Runs the call after the current handler has returned (a posted message).
    void Post(Clock::Callback call) { clock_.Post(std::move(call)); }

    // Enter, Escape and Space never reach this window or its controls.
    void SetFilterKeys(bool on) { filterKeys_ = on; }
    bool FiltersKeys() const { return filterKeys_; }

    // A close request from the window manager (title bar, Alt+F4, task bar) clicks this button,
    // the window's own cancelling control, so that whoever waits for the window hears of its
    // end. Without one the request is refused: such a window is ended by the program only.
    void SetCloseControl(int id) { closeControl_ = id; }

    // Runs this dialog modal over owner: shown as a frameless window that blocks input to the
    // owner, while timers and posted calls keep flowing. EndDialog hides it; the continuation
    // runs after the handler that ended it has returned.
    void RunModal(QWidget* owner, std::function<void(int)> then, bool frameless = true);
    void EndDialog(int result);
    bool IsModalRunning() const { return modalRunning_; }

    // Sends the window into a system move, as a left press at globalPress on its surface does.
    // Where the platform has no such move, the window follows the mouse until the button is up.
    void StartWindowDrag(QPoint globalPress);
    int DragCount() const { return dragCount_; }

    // The key filter; public so that tests can ask it directly.
    bool eventFilter(QObject* watched, QEvent* event) override;

protected:
    virtual void OnInitDialog() {}
    virtual void OnTimer(int /*id*/) {}
    virtual void OnCommand(int /*id*/, Notify /*code*/) {}

    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QWidget* CreateControl(const ControlSpec& control);

    int templateId_;
    Clock& clock_;
    WindowTimers timers_;
    DialogBaseUnits units_;
    std::map<int, QWidget*> items_;
    bool filterKeys_ = false;
    int closeControl_ = 0;
    bool initialised_ = false;
    bool modalRunning_ = false;
    std::function<void(int)> then_;
    int dragCount_ = 0;
    std::optional<QPoint> dragOffset_;  // press point less window position, while dragged by hand
};

}  // namespace corvane
