// Where the windows sit on the desktop: every pop-up is transient for the main window, so that a
// Wayland compositor keeps it over that window, and a drag moves the window by hand where the
// platform has no system move (X11 without it, the offscreen platform these tests run on).
#include "pages/CFWDlg.h"
#include "resources/resource.h"
#include "tests/support/Harness.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QFile>
#include <QLibraryInfo>
#include <QMouseEvent>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
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

// The pop-ups test again, run on a headless weston with the Wayland plug-in: the protocol must
// give every pop-up's surface the main window's as its parent, so the compositor keeps it there.
TEST(WaylandTest, EveryPopUpIsAChildOfTheMainWindowOnTheCompositor) {
    const QString weston = QStandardPaths::findExecutable(QStringLiteral("weston"));
    const QString plugin = QLibraryInfo::path(QLibraryInfo::PluginsPath) +
                           QStringLiteral("/platforms/libqwayland-generic.so");
    if (weston.isEmpty() || !QFile::exists(plugin)) GTEST_SKIP() << "needs weston and qt6-wayland";
    QTemporaryDir runtime;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    // No shell or keyboard helper programs: only the compositor itself.
    QFile config(runtime.filePath(QStringLiteral("weston.ini")));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write("[core]\nshell=kiosk-shell.so\n[input-method]\npath=\n");
    config.close();
    QProcess compositor;
    compositor.setProcessEnvironment(env);
    compositor.start(
        weston,
        {QStringLiteral("--backend=headless-backend.so"), QStringLiteral("--socket=corvane-test"),
         QStringLiteral("--config=") + config.fileName(), QStringLiteral("--idle-time=0")});
    QDeadlineTimer deadline(20000);
    while (!QFile::exists(runtime.filePath(QStringLiteral("corvane-test"))) &&
           !deadline.hasExpired())
        compositor.waitForFinished(50);
    if (compositor.state() != QProcess::Running) GTEST_SKIP() << "weston did not start here";

    QProcess client;
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    env.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("corvane-test"));
    env.insert(QStringLiteral("WAYLAND_DEBUG"), QStringLiteral("client"));
    client.setProcessEnvironment(env);
    client.start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral(
                     "--gtest_filter=WindowPlacementTest.EveryPopUpIsTransientForTheMainWindow")});
    ASSERT_TRUE(client.waitForFinished(60000));
    EXPECT_EQ(client.exitCode(), 0) << client.readAllStandardOutput().toStdString();
    compositor.terminate();
    compositor.waitForFinished(5000);

    // The first toplevel is the main window; each later one is a pop-up and must get it as parent.
    const QRegularExpression made(QStringLiteral(R"(get_toplevel\(new id xdg_toplevel@(\d+)\))"));
    const QRegularExpression parent(
        QStringLiteral(R"(xdg_toplevel@(\d+)\.set_parent\(xdg_toplevel@(\d+)\))"));
    QString main;
    QStringList waiting;
    int parented = 0;
    for (const QString& line : QString::fromUtf8(client.readAllStandardError()).split('\n')) {
        if (const auto m = made.match(line); m.hasMatch()) {
            if (main.isEmpty())
                main = m.captured(1);
            else
                waiting << m.captured(1);
        } else if (const auto p = parent.match(line); p.hasMatch() && p.captured(2) == main) {
            parented += waiting.removeAll(p.captured(1)) > 0 ? 1 : 0;
        }
    }
    EXPECT_TRUE(waiting.isEmpty()) << waiting.join(',').toStdString();
    EXPECT_GE(parented, 5);  // message, busy, About, configuration, file chooser
}

}  // namespace
}  // namespace corvane
