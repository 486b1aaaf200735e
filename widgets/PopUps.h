#pragma once
// The program's two pop-ups and their program-wide state: the message pop-up (results,
// failures and the factory-reset question) and the busy pop-up (waiting for the device).
// Each runs window-modal over the main window and reports its result to a continuation.

#include "framework/Clock.h"
#include "widgets/CMessageDlg.h"
#include "widgets/CStatusDlg.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

namespace corvane {

constexpr int kResultNotShown = 0;  // the pop-up was open already; nothing was shown
constexpr int kResultOk = 1;
constexpr int kResultCancel = 2;

class PopUps {
public:
    using Then = std::function<void(int result)>;

    explicit PopUps(Clock& clock);
    ~PopUps();
    PopUps(const PopUps&) = delete;
    PopUps& operator=(const PopUps&) = delete;

    // The window the pop-ups run over.
    void SetOwner(QWidget* owner) { owner_ = owner; }
    QWidget* Owner() const { return owner_; }

    // Sets the message text; opens the message pop-up unless it is open. The continuation gets
    // Ok or Cancel once it closes, or kResultNotShown at once when it was open already.
    void ShowMessage(const QString& text, Then then = {});
    // The same with a second, smaller line under the text: what the operator can do about it.
    void ShowMessage(const QString& text, const QString& detail, Then then = {});
    void OpenMessage(Then then = {});
    // The yes/no question: "No longer remind", "Ok", "Cancel".
    void Ask(const QString& text, Then then);

    // Sets the busy text; opens the busy pop-up unless it is open. The continuation runs when
    // the program closes it (at once when it was open already).
    void ShowBusy(const QString& text, Then then = {});
    void SetBusyText(const QString& text) { busyText_ = text; }
    // Stops the dots, shows the success picture and the busy text without dots.
    void FinishBusy();
    // Clears the busy-open flag and ends the busy pop-up.
    void CloseBusy();

    const QString& MessageText() const { return messageText_; }
    // A new text drops the detail line that belonged to the old one.
    void SetMessageText(const QString& text);
    const QString& MessageDetail() const { return messageDetail_; }
    void SetMessageDetail(const QString& detail);
    const QString& BusyText() const { return busyText_; }
    bool MessageOpen() const { return messageOpen_ != 0; }
    bool BusyOpen() const { return busyOpen_ != 0; }
    bool ConfirmationMode() const { return confirmationMode_ != 0; }
    bool NoLongerRemind() const { return noLongerRemind_ != 0; }

    // The running windows, or null.
    CMessageDlg* MessageWindow() const { return message_; }
    CStatusDlg* BusyWindow() const { return busy_; }

private:
    friend class CMessageDlg;
    friend class CStatusDlg;
    void RunMessage(Then then);
    void RefreshMessage();
    void MessageEnded(int result);
    void SetNoLongerRemind(bool on) { noLongerRemind_ = on ? 1 : 0; }

    Clock& clock_;
    QPointer<QWidget> owner_;
    QString messageText_;
    QString messageDetail_;
    int messageOpen_ = 0;
    int confirmationMode_ = 0;
    int noLongerRemind_ = 0;
    QString busyText_;
    int busyOpen_ = 0;
    QPointer<CMessageDlg> message_;
    QPointer<CStatusDlg> busy_;
};

}  // namespace corvane
