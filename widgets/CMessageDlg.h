#pragma once
// The message pop-up: a self-drawn box with the message text, Ok, and in confirmation mode
// Cancel and "No longer remind".

#include "framework/Dialog.h"

#include <QRect>

namespace corvane {

class PopUps;

class CMessageDlg : public CDialog {
    Q_OBJECT
public:
    CMessageDlg(PopUps& popUps, Clock& clock);

    // The rectangle the text is centred in, and where picture 1100 goes, for a message text.
    static QRect TextRect(const QString& text);
    static bool MovesPicture(const QString& text);
    // Where the detail line goes: under the text, across the white part of the pop-up.
    static QRect DetailRect(int width);
    // The detail's font: as large as lets the detail fit its rectangle.
    static QFont DetailFont(const QString& detail, const QRect& rect);

protected:
    void OnInitDialog() override;
    void OnCommand(int id, Notify code) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    PopUps& popUps_;
};

}  // namespace corvane
