#pragma once
// EDID page: loads an EDID preset into an input or copies an output's EDID to an input.

#include "framework/Dialog.h"
#include "link/CommandFrame.h"
#include "pages/PageHost.h"

#include <QStringList>

namespace corvane {

class CEDIDDlg : public CDialog {
    Q_OBJECT
public:
    static constexpr int kTimeoutTimer = 1000;
    static constexpr int kTimeoutPeriod = 7000;
    static constexpr int kCloseBusyTimer = 1004;
    static constexpr int kCloseBusyPeriod = 900;

    // The presets of the "Set EDID Mode" list, in list order.
    static const QStringList& Presets();

    CEDIDDlg(PageHost& host, Clock& clock, QWidget* parent);

    // Every checksum-valid frame that arrives while this page is in front.
    void OnEdidReply(const Frame& frame);

protected:
    void OnInitDialog() override;
    void OnTimer(int id) override;
    void OnCommand(int id, Notify code) override;

private:
    void AdjustTargets();
    void StartOperation(bool copy);
    void SendOperation();

    PageHost& host_;
};

}  // namespace corvane
