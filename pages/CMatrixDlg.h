#pragma once
// Switch page: input, output resolution, audio source and VGA format, mirrored from the device's answers.

#include "framework/Dialog.h"
#include "link/CommandFrame.h"
#include "pages/PageHost.h"

namespace corvane {

class CMatrixDlg : public CDialog {
    Q_OBJECT
public:
    CMatrixDlg(PageHost& host, Clock& clock, QWidget* parent);

    // Every checksum-valid frame that arrives while this page is in front.
    void OnSwitchReply(const Frame& frame);

protected:
    void OnInitDialog() override;
    void OnTimer(int id) override;
    void OnCommand(int id, Notify code) override;

private:
    PageHost& host_;
};

}  // namespace corvane
