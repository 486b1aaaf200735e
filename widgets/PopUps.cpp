#include "widgets/PopUps.h"

#include "widgets/CMessageDlg.h"
#include "widgets/CStatusDlg.h"

namespace corvane {

PopUps::PopUps(Clock& clock) : clock_(clock) {}

PopUps::~PopUps() {
    delete message_.data();
    delete busy_.data();
}

void PopUps::SetMessageText(const QString& text) {
    messageText_ = text;
    messageDetail_.clear();
    RefreshMessage();
}

void PopUps::SetMessageDetail(const QString& detail) {
    messageDetail_ = detail;
    RefreshMessage();
}

void PopUps::RefreshMessage() {
    if (!message_) return;
    // The text is drawn, not a control: assistive technology reads it as the window's name.
    message_->setAccessibleName(messageText_);
    message_->setAccessibleDescription(messageDetail_);
    message_->update();
}

void PopUps::ShowMessage(const QString& text, Then then) {
    SetMessageText(text);
    OpenMessage(std::move(then));
}

void PopUps::ShowMessage(const QString& text, const QString& detail, Then then) {
    SetMessageText(text);
    SetMessageDetail(detail);
    OpenMessage(std::move(then));
}

void PopUps::OpenMessage(Then then) {
    if (messageOpen_) {
        if (then) then(kResultNotShown);
        return;
    }
    messageOpen_ = 1;
    RunMessage(std::move(then));
}

void PopUps::Ask(const QString& text, Then then) {
    SetMessageText(text);
    if (messageOpen_) {
        if (then) then(kResultNotShown);
        return;
    }
    confirmationMode_ = 1;
    messageOpen_ = 1;
    RunMessage([this, then = std::move(then)](int result) {
        confirmationMode_ = 0;
        if (then) then(result);
    });
}

void PopUps::RunMessage(Then then) {
    // Each run gets a fresh window, as the pop-up's window exists only while it runs.
    if (message_) message_->deleteLater();
    auto* window = new CMessageDlg(*this, clock_);
    message_ = window;
    RefreshMessage();
    window->RunModal(owner_,
                     [window = QPointer<CMessageDlg>(window), then = std::move(then)](int result) {
                         if (window) window->deleteLater();
                         if (then) then(result);
                     });
}

void PopUps::MessageEnded(int result) {
    messageOpen_ = 0;
    if (message_) message_->EndDialog(result);
}

void PopUps::ShowBusy(const QString& text, Then then) {
    busyText_ = text;
    if (busyOpen_) {
        if (then) then(kResultNotShown);
        return;
    }
    busyOpen_ = 1;
    if (busy_) busy_->deleteLater();
    auto* window = new CStatusDlg(*this, clock_);
    busy_ = window;
    window->RunModal(owner_,
                     [window = QPointer<CStatusDlg>(window), then = std::move(then)](int result) {
                         if (window) window->deleteLater();
                         if (then) then(result);
                     });
}

void PopUps::FinishBusy() {
    if (busyOpen_ && busy_) busy_->Finish();
}

void PopUps::CloseBusy() {
    busyOpen_ = 0;
    if (busy_) busy_->EndDialog(kResultOk);
}

}  // namespace corvane
