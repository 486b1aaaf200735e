#pragma once
// EDID page: loads an EDID preset into an input or copies an output's EDID to an input.

#include "framework/Dialog.h"
#include "link/CommandFrame.h"
#include "pages/PageHost.h"

namespace corvane {

class CEDIDDlg : public CDialog {
    Q_OBJECT
public:
    CEDIDDlg(PageHost& host, Clock& clock, QWidget* parent);

    // Every checksum-valid frame that arrives while this page is in front.
    void OnEdidReply(const Frame& frame);

protected:
    void OnInitDialog() override;
    void OnTimer(int id) override;
    void OnCommand(int id, Notify code) override;

private:
    PageHost& host_;
};

}  // namespace corvane
