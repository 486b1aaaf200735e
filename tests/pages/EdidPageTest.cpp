#include "pages/CEDIDDlg.h"
#include "resources/resource.h"
#include "tests/support/Harness.h"

#include <gtest/gtest.h>
#include <QComboBox>

#include <cstdio>

namespace corvane {
namespace {

using test::Harness;

class EdidPage : public ::testing::Test {
protected:
    EdidPage() {
        h.main.OnTabClicked(kPageEdid);
        page = h.main.EdidPage();
    }
    QComboBox* List(int id) const { return page->ItemAs<QComboBox>(id); }
    // Picks an item the way the operator does: the selection is confirmed.
    void Choose(int id, int index) {
        List(id)->setCurrentIndex(index);
        emit List(id)->activated(index);
        h.Settle();
    }
    QStringList Items(int id) const {
        QStringList items;
        for (int i = 0; i < List(id)->count(); ++i)
            items << List(id)->itemText(i);
        return items;
    }
    void Press(int id) {
        Harness::Click(page, id);
        h.Settle();
    }
    PopUps& popUps() { return h.program.popUps; }
    void ExpectTimeOutAt(std::int64_t due) {
        h.Advance(due - 1 - h.clock.Now());
        EXPECT_TRUE(popUps().BusyOpen());
        EXPECT_FALSE(popUps().MessageOpen());
        h.Advance(1);
        EXPECT_FALSE(popUps().BusyOpen());
        ASSERT_TRUE(popUps().MessageOpen());
        EXPECT_EQ(popUps().MessageText(), "Time out!");
        h.CloseMessage();
        EXPECT_TRUE(h.main.IsReady());
    }

    Harness h;
    CEDIDDlg* page = nullptr;
    const QStringList two = {"HDMI 1", "HDMI 2"};
    const QStringList five = {"HDMI 1", "HDMI 2", "HDMI 3", "HDMI 4", "DVI"};
};

TEST_F(EdidPage, TargetListOffersAllFiveInputsOnlyForThreePresets) {
    EXPECT_EQ(List(IDC_EDID_PRESET)->count(), 16);
    EXPECT_EQ(Items(IDC_EDID_TARGET), five);
    Choose(IDC_EDID_TARGET, 4);  // DVI
    Choose(IDC_EDID_PRESET, 2);  // 1080i,HD Audio 7.1
    EXPECT_EQ(Items(IDC_EDID_TARGET), two);
    EXPECT_EQ(List(IDC_EDID_TARGET)->currentIndex(), 0);
    Choose(IDC_EDID_PRESET, 3);  // 1080p,Stereo Audio 2.0
    EXPECT_EQ(Items(IDC_EDID_TARGET), five);
    EXPECT_EQ(List(IDC_EDID_TARGET)->currentIndex(), 0);
    Choose(IDC_EDID_TARGET, 4);
    Choose(IDC_EDID_PRESET, 13);  // DVI 1920x1080: already five, nothing changes
    EXPECT_EQ(Items(IDC_EDID_TARGET), five);
    EXPECT_EQ(List(IDC_EDID_TARGET)->currentIndex(), 4);
    Choose(IDC_EDID_TARGET, 1);
    Choose(IDC_EDID_PRESET, 15);  // Default EDID keeps a selection that remains
    EXPECT_EQ(List(IDC_EDID_PRESET)->currentText(), "Default EDID");
    EXPECT_EQ(Items(IDC_EDID_TARGET), two);
    EXPECT_EQ(List(IDC_EDID_TARGET)->currentIndex(), 1);
    Choose(IDC_EDID_PRESET, 13);
    EXPECT_EQ(Items(IDC_EDID_TARGET), five);
    Choose(IDC_EDID_PRESET, 0);
    EXPECT_EQ(Items(IDC_EDID_TARGET), five);
}

TEST_F(EdidPage, CopyEdidRunsPreparationThenCopyWithTheBusyPopUpUntilSuccessIsShown) {
    Choose(IDC_EDID_SOURCE, 1);       // QLX OUT
    Choose(IDC_EDID_COPY_TARGET, 1);  // HDMI 2
    Harness::Click(page, IDC_EDID_COPY);
    EXPECT_TRUE(popUps().BusyOpen());
    EXPECT_EQ(popUps().BusyText(), "Setting");
    EXPECT_EQ(h.link.Count(), 0u);
    h.Settle();
    EXPECT_EQ(h.link.LastBody(), "03 08 F0 00 00 00 00 00 EE 00");
    h.Reply("03 08 00 00 00 00 00 00 00 00");
    EXPECT_EQ(h.link.LastBody(), "03 04 02 00 02 00 00 00 00 00");
    EXPECT_FALSE(h.main.IsReady());
    h.Advance(2000);
    h.Reply("03 04 00 00 02 00 00 00 00 00");
    EXPECT_TRUE(h.main.IsReady());
    EXPECT_EQ(popUps().BusyText(), "Set successfully!");
    EXPECT_FALSE(popUps().BusyWindow()->Item(IDC_BUSY_PICTURE)->isHidden());
    h.Advance(899);
    EXPECT_TRUE(popUps().BusyOpen());
    h.Advance(1);
    EXPECT_FALSE(popUps().BusyOpen());
    h.Advance(20000);
    EXPECT_FALSE(popUps().MessageOpen());
    EXPECT_EQ(h.link.Count(), 2u);
}

TEST_F(EdidPage, SetEdidModeSendsThePresetWithDefaultEdidAsFourAndTheTarget) {
    for (int preset = 0; preset < 16; ++preset) {
        SCOPED_TRACE(preset);
        Choose(IDC_EDID_PRESET, preset);
        Choose(IDC_EDID_TARGET, List(IDC_EDID_TARGET)->count() - 1);
        const int target = List(IDC_EDID_TARGET)->count();
        Press(IDC_EDID_SET);
        EXPECT_EQ(h.link.LastBody(), "03 08 F0 00 00 00 00 00 00 00");
        h.Reply("03 08 00 00 00 00 00 00 00 00");
        const int edid = preset == 15 ? 4 : preset + 1;
        char body[40];
        std::snprintf(body, sizeof body, "03 02 %02X F0 %02X 00 00 00 00 00", edid, target);
        EXPECT_EQ(h.link.LastBody(), body);
        std::snprintf(body, sizeof body, "03 02 00 00 %02X 00 00 00 00 00", target);
        h.Reply(body);
        EXPECT_TRUE(h.main.IsReady());
        h.Advance(900);
    }
}

// The one time-out runs from the click, across both steps.
TEST_F(EdidPage, AConfirmationThatDiffersFromTheOperationIsIgnoredAndTimesOut) {
    Press(IDC_EDID_SET);
    h.Advance(6000);
    h.Reply("03 08 00 00 00 00 00 00 00 00");
    ASSERT_EQ(h.link.LastBody(), "03 02 01 F0 01 00 00 00 00 00");
    for (const char* wrong : {"03 02 00 00 02 00 00 00 00 00", "03 04 00 00 01 00 00 00 00 00",
                              "03 02 00 01 01 00 00 00 00 00", "03 02 01 00 01 00 00 00 00 00",
                              "02 02 00 00 01 00 00 00 00 00"}) {
        h.Reply(wrong);
        EXPECT_FALSE(h.main.IsReady()) << wrong;
        EXPECT_EQ(popUps().BusyText(), "Setting");
    }
    ExpectTimeOutAt(7000);
}

TEST_F(EdidPage, RepeatedOrLatePreparationConfirmationSendsNothing) {
    Press(IDC_EDID_COPY);
    h.Reply("03 08 00 00 00 00 00 00 00 00");
    h.Reply("03 08 00 00 00 00 00 00 00 00");
    EXPECT_EQ(h.link.Count(), 2u);
    EXPECT_EQ(h.link.LastBody(), "03 04 01 00 01 00 00 00 00 00");
    ExpectTimeOutAt(7000);

    Press(IDC_EDID_SET);
    ExpectTimeOutAt(14000);
    h.Reply("03 08 00 00 00 00 00 00 00 00");
    EXPECT_EQ(h.link.Count(), 3u);
}

// An operation confirmed after its time-out frees no link that another exchange holds, and arms
// no timer that would close the busy pop-up of the next Set.
TEST_F(EdidPage, ALateOperationConfirmationNeitherFreesTheLinkNorCutsTheNextSetShort) {
    Press(IDC_EDID_SET);
    h.Reply("03 08 00 00 00 00 00 00 00 00");
    ExpectTimeOutAt(7000);
    ASSERT_TRUE(h.main.CheckLinkReady());  // another sender takes the link
    h.Reply("03 02 00 00 01 00 00 00 00 00");
    EXPECT_FALSE(h.main.IsReady());
    h.main.SetReady(true);
    h.Reply("03 02 00 00 01 00 00 00 00 00");  // again, with nothing out
    Press(IDC_EDID_SET);
    h.Advance(900);
    EXPECT_TRUE(popUps().BusyOpen());
    EXPECT_EQ(popUps().BusyText(), "Setting");
}

}  // namespace
}  // namespace corvane
