// Where the windows sit on the desktop: every pop-up is transient for the main window, so that a
// Wayland compositor keeps it over that window, and a drag moves the window by hand where the
// platform has no system move (X11 without it, the offscreen platform these tests run on).
#include "pages/CFWDlg.h"
#include "resources/resource.h"
#include "tests/support/Harness.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QDialog>
#include <QMouseEvent>
#include <QTimer>
#include <QWindow>

namespace corvane {
namespace {

using test::Harness;

QWindow* TransientParentOf(QWidget* window) {
    return window && window->windowHandle() ? window->windowHandle()->transientParent() : nullptr;
}

class WindowPlacementTest : public ::testing::Test {
protected:
    WindowPlacementTest() { h.main.show(); }

    // A mouse event as the platform delivers it to control, at a point on the screen.
    static void Mouse(QWidget* control, QEvent::Type type, QPoint global,
                      Qt::MouseButtons buttons) {
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, QPointF(control->mapFromGlobal(global)), QPointF(global), button,
                          buttons, Qt::NoModifier);
        QApplication::sendEvent(control, &event);
    }

    Harness h;
};

TEST_F(WindowPlacementTest, EveryPopUpIsTransientForTheMainWindow) {
    QWindow* main = h.main.windowHandle();
    ASSERT_NE(main, nullptr);
    h.program.popUps.ShowMessage(QStringLiteral("Time out!"));
    EXPECT_EQ(TransientParentOf(h.program.popUps.MessageWindow()), main);
    h.CloseMessage();
    h.program.popUps.ShowBusy(QStringLiteral("Setting"));
    EXPECT_EQ(TransientParentOf(h.program.popUps.BusyWindow()), main);
    h.program.popUps.CloseBusy();
    CDialog* about = h.main.ShowAbout();
    EXPECT_EQ(TransientParentOf(about), main);
    about->EndDialog(kIdOk);
    Harness::Click(&h.main, IDC_TCP_MODE);
    Harness::Click(&h.main, IDC_CONFIG);
    EXPECT_EQ(TransientParentOf(h.main.Network().ConfigDialog()), main);
    Harness::Click(h.main.Network().ConfigDialog(), IDC_CFG_CANCEL);
    h.Settle();

    // The system's file chooser runs its own loop; it is looked at and cancelled from inside.
    h.main.OnTabClicked(kPageFirmware);
    h.program.link.ready = 1;
    QWindow* chooserParent = nullptr;
    bool chooserSeen = false;
    QTimer::singleShot(0, [&] {
        if (auto* chooser = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            chooserSeen = true;
            chooserParent = TransientParentOf(chooser);
            chooser->reject();
        }
    });
    Harness::Click(h.main.FirmwarePage(), IDC_FW_OPEN);
    EXPECT_TRUE(chooserSeen);
    EXPECT_EQ(chooserParent, main);
}

TEST_F(WindowPlacementTest, ADragOnTheSurfaceMovesTheWindowWhereThePlatformCannot) {
    ASSERT_FALSE(h.main.windowHandle()->startSystemMove());  // as on X11 without the request
    h.main.move(100, 100);
    // Pressed on a static of the General page: the press and the moves reach the window.
    QWidget* label = h.main.Item(IDC_PORT_LABEL);
    const QPoint press = label->mapToGlobal(QPoint(2, 2));
    Mouse(label, QEvent::MouseButtonPress, press, Qt::LeftButton);
    EXPECT_EQ(h.main.DragCount(), 1);
    Mouse(label, QEvent::MouseMove, press + QPoint(30, 40), Qt::LeftButton);
    EXPECT_EQ(h.main.pos(), QPoint(130, 140));
    Mouse(label, QEvent::MouseMove, press + QPoint(-20, 5), Qt::LeftButton);
    EXPECT_EQ(h.main.pos(), QPoint(80, 105));
    Mouse(label, QEvent::MouseButtonRelease, press + QPoint(-20, 5), Qt::NoButton);
    Mouse(label, QEvent::MouseMove, press + QPoint(50, 50), Qt::NoButton);
    EXPECT_EQ(h.main.pos(), QPoint(80, 105));
}

}  // namespace
}  // namespace corvane
