#pragma once
// The General page's device settings as the operator sees them: the beeper check box and the
// factory reset behind its question, with their pop-ups. The exchanges are the controllers'.
// The main window owns it and hands it the General page's replies.

#include "link/CommandFrame.h"
#include "session/BeeperController.h"
#include "session/FactoryResetController.h"

#include <QString>

namespace corvane {

class CCorvaneDlg;

class GeneralSettings : private FactoryResetListener, private BeeperListener {
public:
    static inline const QString kResetQuestion =
        QStringLiteral("Do you want to reset to factory settings?");

    explicit GeneralSettings(CCorvaneDlg& main);
    ~GeneralSettings() override;

    // Button 1095.
    void OnFactoryReset();
    // Check box 1096, after its click has flipped the mark.
    void OnEnableBeep();
    // The General page's reply handler.
    void OnReply(const Frame& frame);

    FactoryResetController& Reset() { return reset_; }
    BeeperController& Beeper() { return beeper_; }
    // The reset step whose frame is out and not yet answered, or 0.
    int SentStep() const { return reset_.SentStep(); }

private:
    // FactoryResetListener
    void OnResetStarted() override;
    void OnResetDone() override;
    void OnResetFinished() override;
    void OnResetTimedOut() override;
    // BeeperListener
    void OnBeeperState(bool enabled) override;

    CCorvaneDlg& main_;
    FactoryResetController reset_;
    BeeperController beeper_;
};

}  // namespace corvane
