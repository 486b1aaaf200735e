#pragma once
// The General page's device settings: the beeper check box and the factory reset, a six-step
// command exchange behind one question. The main window owns it; its reply handler hands over
// the answers (GeneralReplies.cpp).

#include <QString>

namespace corvane {

class CCorvaneDlg;

class GeneralSettings {
public:
    static constexpr int kResetSteps = 6;
    // Step k is sent when timer 2498 + 2k fires (step 1) or on the answer to step k - 1, sent
    // again when 2498 + 2k fires, and given up when 2499 + 2k fires.
    static constexpr int kResetFirstTimer = 2500;
    static constexpr int kResetLastTimer = 2511;
    static constexpr int kResetPeriod = 3000;
    static constexpr int kResetCloseTimer = 1006;
    static constexpr int kResetClosePeriod = 900;
    static inline const QString kResetQuestion =
        QStringLiteral("Do you want to reset to factory settings?");

    explicit GeneralSettings(CCorvaneDlg& main) : main_(main) {}

    // Button 1095.
    void OnFactoryReset();
    // Check box 1096, after its click has flipped the mark.
    void OnEnableBeep();
    // A reply that answers factory reset step k (1..6). It moves the sequence on only when
    // step k is the one out, so a late or stray reply cannot send the later steps.
    void OnResetStepAnswered(int step);
    // Timers 2500..2511 and 1006; false for other ids.
    bool OnTimer(int id);

    // The step whose frame is out and not yet answered, or 0.
    int SentStep() const { return sentStep_; }

private:
    void StartReset();
    void SendStep(int step);

    CCorvaneDlg& main_;
    int sentStep_ = 0;
};

}  // namespace corvane
