#include "pages/CEDIDDlg.h"

#include "resources/DialogTemplates.h"
#include "resources/resource.h"
#include "widgets/PopUps.h"

#include <QComboBox>

namespace corvane {
namespace {

constexpr std::uint8_t kCopyMarker = 0xEE;  // byte 10 of the preparation for a copy
constexpr int kDefaultEdid = 15;
constexpr std::uint8_t kDefaultEdidByte = 0x04;  // the device loads it as "1080p,Stereo Audio 2.0"

std::uint8_t Position(const QComboBox* list) {
    return static_cast<std::uint8_t>(list->currentIndex() < 0 ? 0 : list->currentIndex());
}

}  // namespace

const QStringList& CEDIDDlg::Presets() {
    static const QStringList presets = {"1080i,Stereo Audio 2.0", "1080i,Dolby/DTS 5.1",
                                        "1080i,HD Audio 7.1",     "1080p,Stereo Audio 2.0",
                                        "1080p,Dolby/DTS 5.1",    "1080p,HD Audio 7.1",
                                        "3D,Stereo Audio 2.0",    "3D,Dolby/DTS 5.1",
                                        "3D,HD Audio 7.1",        "4K2K,Stereo Audio 2.0",
                                        "4K2K,Dolby/DTS 5.1",     "4K2K,HD Audio 7.1",
                                        "DVI 1024x768",           "DVI 1920x1080",
                                        "DVI 1920x1200",          "Default EDID"};
    return presets;
}

CEDIDDlg::CEDIDDlg(PageHost& host, Clock& clock, QWidget* parent)
    : CDialog(EdidTemplate(), clock, parent), host_(host) {
    SetFilterKeys(true);
}

void CEDIDDlg::OnInitDialog() {
    auto* presets = ItemAs<QComboBox>(IDC_EDID_PRESET);
    presets->clear();
    presets->insertItems(0, Presets());
    for (int id : {IDC_EDID_PRESET, IDC_EDID_TARGET, IDC_EDID_SOURCE, IDC_EDID_COPY_TARGET}) {
        ItemAs<QComboBox>(id)->setCurrentIndex(0);
    }
}

void CEDIDDlg::OnCommand(int id, Notify code) {
    if (id == IDC_EDID_PRESET && code == Notify::SelChange) {
        AdjustTargets();
    } else if (id == IDC_EDID_SET && code == Notify::Clicked) {
        StartOperation(false);
    } else if (id == IDC_EDID_COPY && code == Notify::Clicked) {
        StartOperation(true);
    }
}

// Only some presets can go to HDMI 3, HDMI 4 and DVI; for the others the list offers the two
// bypass inputs alone.
void CEDIDDlg::AdjustTargets() {
    const int preset = ItemAs<QComboBox>(IDC_EDID_PRESET)->currentIndex();
    auto* targets = ItemAs<QComboBox>(IDC_EDID_TARGET);
    const int selected = targets->currentIndex();
    auto keep = [targets, selected](int count) {
        while (targets->count() > count)
            targets->removeItem(count);
        targets->setCurrentIndex(selected >= count ? 0 : selected);
    };
    auto grow = [targets, selected] {
        targets->insertItems(
            2, {QStringLiteral("HDMI 3"), QStringLiteral("HDMI 4"), QStringLiteral("DVI")});
        targets->setCurrentIndex(selected);
    };
    if (preset == 0 || preset == 3) {
        if (targets->count() < 3)
            grow();
    } else if (preset == 13) {
        if (targets->count() < 5) {
            grow();
        } else if (targets->count() > 5) {
            keep(5);
        }
    } else if (targets->count() > 2) {
        keep(2);
    }
}

void CEDIDDlg::StartOperation(bool copy) {
    if (!host_.CheckLinkReady())
        return;
    const std::uint8_t operation = copy ? kCopyMarker : std::uint8_t{0x00};
    host_.Tx().Compose(0x03, 0x08, {0xF0, 0x00, 0x00, 0x00, 0x00, 0x00, operation});
    SetTimer(kTimeoutTimer, kTimeoutPeriod);
    host_.PostSendRequest(kSendEdidFrame);
    host_.PopUp().ShowBusy(QStringLiteral("Setting"));
}

// Built from the lists as they stand when the device is ready for it.
void CEDIDDlg::SendOperation() {
    TransmitBuffers& tx = host_.Tx();
    const bool copy = tx.frame[10] == kCopyMarker;
    if (copy) {
        const std::uint8_t source = Position(ItemAs<QComboBox>(IDC_EDID_SOURCE)) + 1;
        const std::uint8_t target = Position(ItemAs<QComboBox>(IDC_EDID_COPY_TARGET)) + 1;
        tx.Compose(0x03, 0x04, {source, 0x00, target});
    } else {
        const int preset = Position(ItemAs<QComboBox>(IDC_EDID_PRESET));
        const std::uint8_t edid =
            preset == kDefaultEdid ? kDefaultEdidByte : static_cast<std::uint8_t>(preset + 1);
        const std::uint8_t target = Position(ItemAs<QComboBox>(IDC_EDID_TARGET)) + 1;
        tx.Compose(0x03, 0x02, {edid, 0xF0, target});
    }
    host_.PostSendRequest(kSendEdidFrame);
}

void CEDIDDlg::OnEdidReply(const Frame& f) {
    if (f[2] != 0x03)
        return;
    const Frame& sent = host_.Tx().frame;
    if (f[3] == 0x08 && f[4] == 0x00) {
        // Only while this page's preparation is out: a repeated or late confirmation must not
        // send the device an operation nobody asked for.
        const bool awaitingPreparation =
            IsTimerRunning(kTimeoutTimer) && sent[2] == 0x03 && sent[3] == 0x08;
        if (awaitingPreparation)
            SendOperation();
        return;
    }
    // Only while the operation is out: a late confirmation would free a link that another
    // exchange may hold, and its closing timer would cut short the busy pop-up of the next Set.
    const bool awaitingOperation =
        IsTimerRunning(kTimeoutTimer) && sent[2] == 0x03 && (sent[3] == 0x02 || sent[3] == 0x04);
    if (awaitingOperation && f[3] == sent[3] && f[4] == 0x00 && f[5] == 0x00 && f[6] == sent[6]) {
        KillTimer(kTimeoutTimer);
        PopUps& popUps = host_.PopUp();
        popUps.SetBusyText(QStringLiteral("Set successfully!"));
        popUps.FinishBusy();
        SetTimer(kCloseBusyTimer, kCloseBusyPeriod);
        host_.SetReady(true);
    }
}

void CEDIDDlg::OnTimer(int id) {
    PopUps& popUps = host_.PopUp();
    if (id == kCloseBusyTimer) {
        KillTimer(kCloseBusyTimer);
        popUps.CloseBusy();
    } else if (id == kTimeoutTimer) {
        KillTimer(kTimeoutTimer);
        popUps.CloseBusy();
        popUps.ShowMessage(QStringLiteral("Time out!"), [this](int) { host_.SetReady(true); });
    }
}

}  // namespace corvane
