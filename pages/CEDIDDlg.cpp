#include "pages/CEDIDDlg.h"

#include "resources/DialogTemplates.h"
#include "resources/resource.h"
#include "widgets/PopUps.h"

#include <QComboBox>

namespace corvane {
namespace {

int Position(const QComboBox* list) {
    return list->currentIndex() < 0 ? 0 : list->currentIndex();
}

}  // namespace

const QStringList& CEDIDDlg::Presets() {
    return EdidPresetNames();
}

CEDIDDlg::CEDIDDlg(PageHost& host, Clock& clock, QWidget* parent)
    : CDialog(EdidTemplate(), clock, parent), host_(host), controller_(host, clock) {
    SetFilterKeys(true);
    controller_.SetListener(this);
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
        if (controller_.StartPreset()) host_.PopUp().ShowBusy(QStringLiteral("Setting"));
    } else if (id == IDC_EDID_COPY && code == Notify::Clicked) {
        if (controller_.StartCopy()) host_.PopUp().ShowBusy(QStringLiteral("Setting"));
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
        if (targets->count() < 3) grow();
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

// Read when the device is ready for the operation.
EdidChoice CEDIDDlg::CurrentChoice() const {
    EdidChoice choice;
    choice.preset = Position(ItemAs<QComboBox>(IDC_EDID_PRESET));
    choice.target = Position(ItemAs<QComboBox>(IDC_EDID_TARGET));
    choice.source = Position(ItemAs<QComboBox>(IDC_EDID_SOURCE));
    choice.copyTarget = Position(ItemAs<QComboBox>(IDC_EDID_COPY_TARGET));
    return choice;
}

// The success text stays up for a moment after the link is freed.
void CEDIDDlg::OnEdidEnd(End end) {
    PopUps& popUps = host_.PopUp();
    if (end == End::Confirmed) {
        popUps.SetBusyText(QStringLiteral("Set successfully!"));
        popUps.FinishBusy();
        SetTimer(kCloseBusyTimer, kCloseBusyPeriod);
        return;
    }
    popUps.CloseBusy();
    popUps.ShowMessage(QStringLiteral("Time out!"),
                       [this](int) { controller_.TimeOutAcknowledged(); });
}

void CEDIDDlg::OnTimer(int id) {
    if (id == kCloseBusyTimer) {
        KillTimer(kCloseBusyTimer);
        host_.PopUp().CloseBusy();
    }
}

}  // namespace corvane
