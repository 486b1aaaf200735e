// Each window's controls sit where their dialog units put them for the font in use. The
// positions below are the windows' layouts, in dialog units, written out again rather than read
// from the templates, so that a changed template shows up here.

#include "app/CConfigIPDlg.h"
#include "pages/CEDIDDlg.h"
#include "pages/CFWDlg.h"
#include "pages/CMatrixDlg.h"
#include "resources/resource.h"
#include "tests/support/Harness.h"
#include "widgets/CMessageDlg.h"
#include "widgets/CStatusDlg.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

struct Placed {
    int id;
    int x, y, w, h;  // dialog units; h = 0 where the control picks its own height
};

void ExpectPlaced(const CDialog& dialog, std::initializer_list<Placed> controls) {
    const DialogBaseUnits u = dialog.Units();
    for (const Placed& c : controls) {
        const QRect g = dialog.Item(c.id)->geometry();
        EXPECT_EQ(g.topLeft(), QPoint(u.X(c.x), u.Y(c.y))) << "control " << c.id;
        EXPECT_EQ(g.width(), u.X(c.w)) << "control " << c.id;
        if (c.h) {
            EXPECT_EQ(g.height(), u.Y(c.h)) << "control " << c.id;
        }
    }
}

class TemplateGeometryTest : public ::testing::Test {
protected:
    test::Harness h;
};

TEST_F(TemplateGeometryTest, SwitchPage) {
    h.main.OnTabClicked(kPageSwitch);
    const CMatrixDlg& page = *h.main.SwitchPage();
    const DialogBaseUnits u = page.Units();
    EXPECT_EQ(page.Item(IDC_SW_HDMI1)->pos(), QPoint(u.X(21), u.Y(38)));
    EXPECT_EQ(page.Item(IDC_SW_SCALER)->pos(), QPoint(u.X(21), u.Y(167)));
    EXPECT_EQ(page.Item(IDC_SW_1920X1200)->pos(), QPoint(u.X(147), u.Y(22)));
    EXPECT_EQ(page.Item(IDC_SW_YPBPR)->pos(), QPoint(u.X(147), u.Y(111)));
    EXPECT_EQ(page.Item(IDC_SW_AUTO_ADJUST)->pos(), QPoint(u.X(147), u.Y(136)));
    EXPECT_EQ(page.Item(IDC_SW_INT)->pos(), QPoint(u.X(147), u.Y(175)));
    EXPECT_EQ(page.pos(), QPoint(1, 56));
}

TEST_F(TemplateGeometryTest, EdidPage) {
    h.main.OnTabClicked(kPageEdid);
    const CEDIDDlg& page = *h.main.EdidPage();
    ExpectPlaced(page, {{IDC_EDID_PRESET, 78, 49, 90, 0},
                        {IDC_EDID_COPY_TARGET, 181, 72, 48, 0},
                        {IDC_EDID_COPY, 246, 72, 48, 12},
                        {IDC_EDID_TO2, 171, 74, 8, 8}});
}

TEST_F(TemplateGeometryTest, FirmwarePageSizeAndPlace) {
    h.main.OnTabClicked(kPageFirmware);
    const CFWDlg& page = *h.main.FirmwarePage();
    const DialogBaseUnits u = page.Units();
    EXPECT_EQ(page.size(), QSize(u.X(316), u.Y(225)));
    EXPECT_EQ(page.pos(), QPoint(1, 70));
}

TEST_F(TemplateGeometryTest, ConfigurationDialog) {
    CConfigIPDlg dialog(h.program.network, h.program.popUps, h.clock);
    ExpectPlaced(dialog, {{IDC_CFG_AUTO_IP, 41, 36, 40, 10},
                          {IDC_CFG_STATIC_IP, 105, 36, 42, 10},
                          {IDC_CFG_MAC_LABEL, 41, 91, 17, 8},
                          {IDC_CFG_OK, 47, 135, 48, 12}});
}

TEST_F(TemplateGeometryTest, MessageAndBusyPopUps) {
    CMessageDlg message(h.program.popUps, h.clock);
    ExpectPlaced(message, {{IDC_MSG_OK, 137, 60, 41, 11},
                           {IDC_MSG_CANCEL, 94, 60, 41, 11},
                           {IDC_MSG_NO_REMIND, 3, 60, 69, 10},
                           {IDC_MSG_PICTURE, 26, 29, 21, 17}});
    CStatusDlg busy(h.program.popUps, h.clock);
    ExpectPlaced(busy, {{IDC_BUSY_TEXT, 61, 25, 87, 8}, {IDC_BUSY_PICTURE, 31, 21, 18, 15}});
}

}  // namespace
}  // namespace corvane
