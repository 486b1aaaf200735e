// The network configuration dialog that fills the new address fields.
#include "app/CConfigIPDlg.h"
#include "resources/resource.h"
#include "tests/support/Harness.h"
#include "widgets/CFlatButton.h"

#include <gtest/gtest.h>
#include <QKeyEvent>
#include <QMouseEvent>

namespace corvane {
namespace {

using test::Harness;

const std::array<QString, 6> kMac = {"02", "43", "56", "00", "00", "01"};

class ConfigDialogTest : public ::testing::Test {
protected:
    ConfigDialogTest() {
        net.targetIp = {"198", "51", "100", "10"};
        net.targetMac = kMac;
    }
    CConfigIPDlg& Open() {
        dialog = std::make_unique<CConfigIPDlg>(net, h.program.popUps, h.clock);
        dialog->RunModal(&h.main, [this](int r) { result = r; });
        return *dialog;
    }

    Harness h;
    NetworkState& net = h.program.network;
    std::unique_ptr<CConfigIPDlg> dialog;
    int result = 0;
};

TEST_F(ConfigDialogTest, ShowsTheTargetAndTheModeAndTheRadiosSetTheModeAtOnce) {
    CConfigIPDlg& d = Open();
    EXPECT_TRUE(d.IsItemChecked(IDC_CFG_AUTO_IP));
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(d.ItemText(IDC_CFG_IP1 + i), net.targetIp[i]);
        EXPECT_FALSE(d.IsItemEnabled(IDC_CFG_IP1 + i));
    }
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(d.ItemText(IDC_CFG_MAC1 + i), kMac[i]);

    Harness::Click(&d, IDC_CFG_STATIC_IP);
    EXPECT_EQ(net.addressMode, NetworkState::kStaticIp);
    EXPECT_TRUE(d.IsItemEnabled(IDC_CFG_IP1));
    Harness::Click(&d, IDC_CFG_CLOSE);
    h.Settle();
    EXPECT_EQ(result, kIdCancel);
    EXPECT_EQ(net.addressMode, NetworkState::kStaticIp);  // kept although cancelled
    EXPECT_TRUE(net.newIp[0].isEmpty());

    CConfigIPDlg& again = Open();
    EXPECT_TRUE(again.IsItemChecked(IDC_CFG_STATIC_IP));
    EXPECT_TRUE(again.IsItemEnabled(IDC_CFG_IP1 + 3));
    Harness::Click(&again, IDC_CFG_AUTO_IP);
    EXPECT_EQ(net.addressMode, NetworkState::kAutoIp);
    EXPECT_FALSE(again.IsItemEnabled(IDC_CFG_IP1));
}

TEST_F(ConfigDialogTest, OkTakesWhatWasTypedOnlyOnceItIsAnAddress) {
    CConfigIPDlg& d = Open();
    Harness::Click(&d, IDC_CFG_STATIC_IP);
    d.SetItemText(IDC_CFG_IP1 + 3, "300");
    Harness::Click(&d, IDC_CFG_OK);
    h.Settle();
    EXPECT_EQ(h.program.popUps.MessageText(), "Invalid IP address!");
    EXPECT_EQ(h.program.popUps.MessageWindow()->parentWidget(), &d);  // over the dialog
    h.CloseMessage();
    EXPECT_TRUE(d.IsModalRunning());
    EXPECT_EQ(h.program.popUps.Owner(), &h.main);

    d.SetItemText(IDC_CFG_IP1 + 3, "50");
    d.SetItemText(IDC_CFG_MAC1 + 5, "2");
    Harness::Click(&d, IDC_CFG_OK);
    h.Settle();
    EXPECT_EQ(h.program.popUps.MessageText(), "Invalid MAC address!");
    h.CloseMessage();
    EXPECT_EQ(d.ItemText(IDC_CFG_MAC1 + 5), "2");

    d.SetItemText(IDC_CFG_MAC1 + 5, "fe");
    Harness::Click(&d, IDC_CFG_OK);
    h.Settle();
    EXPECT_EQ(result, kIdOk);
    EXPECT_EQ(net.newIp, (std::array<QString, 4>{"198", "51", "100", "50"}));
    EXPECT_EQ(net.newMac[5], "fe");
    EXPECT_EQ(net.targetMac[5], "01");  // the target stays the device that was found
}

TEST_F(ConfigDialogTest, KeysDoNotEndItAndItsCaptionLooksLikeTheMainWindows) {
    CConfigIPDlg& d = Open();
    for (int key : {Qt::Key_Return, Qt::Key_Escape, Qt::Key_Space}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(d.Item(IDC_CFG_OK), &press);
        EXPECT_TRUE(d.eventFilter(d.Item(IDC_CFG_OK), &press)) << key;
    }
    h.Settle();
    EXPECT_TRUE(d.IsModalRunning());

    // A left press anywhere on its surface drags it.
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(150, 160), d.mapToGlobal(QPointF(150, 160)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&d, &press);
    EXPECT_EQ(d.DragCount(), 1);

    CFlatButton* close = d.CloseButton();
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(d.Item(IDC_CFG_CLOSE), close);
    EXPECT_EQ(close->toolTip(), "Close");
    EXPECT_FALSE(close->State().drawBorder);

    d.grab();  // runs the paint handler
    EXPECT_EQ(close->geometry(), QRect(d.width() - 26, 1, 25, 25));
    const QImage img = d.RenderSurface().toImage();
    EXPECT_EQ(img.pixelColor(150, 12), QColor(30, 144, 225));                 // band
    EXPECT_EQ(img.pixelColor(150, 26), d.palette().color(QPalette::Button));  // body
    EXPECT_EQ(img.pixelColor(0, 12), QColor(30, 120, 255));                   // band edge
    EXPECT_NE(img.pixelColor(0, 100), QColor(Qt::white));                     // grey border
    // The title is drawn inside its box only.
    const QColor band(30, 144, 225);
    int title = 0;
    for (int y = 2; y < 25; ++y) {
        for (int x = 2; x < 90; ++x)
            title += img.pixelColor(x, y) != band;
        for (int x = 92; x < d.width() - 27; ++x)
            EXPECT_EQ(img.pixelColor(x, y), band);
    }
    EXPECT_GT(title, 40);
}

}  // namespace
}  // namespace corvane
