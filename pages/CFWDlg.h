#pragma once
// Firmware upgrade page: sends a .fw image block by block, shows the device's type and version.

#include "framework/Dialog.h"
#include "link/CommandFrame.h"
#include "pages/PageHost.h"

namespace corvane {

class CFWDlg : public CDialog {
    Q_OBJECT
public:
    CFWDlg(PageHost& host, Clock& clock, QWidget* parent);

    // Every checksum-valid frame that arrives while this page is in front.
    void OnFirmwareReply(const Frame& frame);

protected:
    void OnInitDialog() override;
    void OnTimer(int id) override;
    void OnCommand(int id, Notify code) override;

private:
    PageHost& host_;
};

}  // namespace corvane
