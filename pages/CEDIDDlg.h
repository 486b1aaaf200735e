#pragma once
// EDID page: loads an EDID preset into an input or copies an output's EDID to an input.

#include "framework/Dialog.h"
#include "link/CommandFrame.h"
#include "pages/PageHost.h"
#include "session/EdidController.h"

#include <QStringList>

namespace corvane {

class CEDIDDlg : public CDialog, private EdidListener {
    Q_OBJECT
public:
    static constexpr int kTimeoutTimer = EdidController::kTimeoutTimer;
    static constexpr int kTimeoutPeriod = EdidController::kTimeoutPeriod;
    static constexpr int kCloseBusyTimer = 1004;
    static constexpr int kCloseBusyPeriod = 900;

    // The presets of the "Set EDID Mode" list, in list order.
    static const QStringList& Presets();

    CEDIDDlg(PageHost& host, Clock& clock, QWidget* parent);

    EdidController& Controller() { return controller_; }
    const EdidController& Controller() const { return controller_; }

    // Every checksum-valid frame that arrives while this page is in front.
    void OnEdidReply(const Frame& frame) { controller_.OnReply(frame); }

protected:
    void OnInitDialog() override;
    void OnTimer(int id) override;
    void OnCommand(int id, Notify code) override;

private:
    EdidChoice CurrentChoice() const override;
    void OnEdidEnd(End end) override;
    void AdjustTargets();

    PageHost& host_;
    EdidController controller_;
};

}  // namespace corvane
