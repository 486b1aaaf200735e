#pragma once
// The network configuration dialog ("TCP Config"): the address mode, the IP address and the MAC
// of the switcher to configure. OK takes what was typed into the new address fields, once it
// has been checked.

#include "app/Program.h"
#include "framework/Dialog.h"

namespace corvane {

class CFlatButton;

class CConfigIPDlg : public CDialog {
    Q_OBJECT
public:
    static inline const QString kTitle = QStringLiteral("TCP Config");

    CConfigIPDlg(NetworkState& network, PopUps& popUps, Clock& clock);

    // The off-screen picture the paint handler copies to the window.
    QPixmap RenderSurface() const;
    QRect TitleRect() const { return QRect(QPoint(1, 1), QPoint(89, 29)); }
    CFlatButton* CloseButton() const { return close_; }

protected:
    void OnInitDialog() override;
    void OnCommand(int id, Notify code) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void EnableIpEdits(bool enabled);
    void OnOk();

    NetworkState& network_;
    PopUps& popUps_;
    CFlatButton* close_ = nullptr;
};

}  // namespace corvane
