#pragma once
// The busy pop-up: the busy text followed by dots that cycle every 300 ms, until the program
// finishes it (success picture, final text) or closes it.

#include "framework/Dialog.h"

namespace corvane {

class PopUps;

class CStatusDlg : public CDialog {
    Q_OBJECT
public:
    static constexpr int kDotTimer1 = 1001;
    static constexpr int kDotTimer2 = 1002;
    static constexpr int kDotTimer3 = 1003;
    static constexpr int kDotPeriod = 300;

    CStatusDlg(PopUps& popUps, Clock& clock);

    void Finish();

protected:
    void OnInitDialog() override;
    void OnTimer(int id) override;
    void paintEvent(QPaintEvent* event) override;

private:
    PopUps& popUps_;
};

}  // namespace corvane
