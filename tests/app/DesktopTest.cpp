// How the windows meet the desktop: what a screen reader finds in each (a name for every control
// that can be used, a page tab list, the link state), and where they sit: every pop-up over the
// main window, which a drag moves by hand where the platform has no system move.
#include "app/CConfigIPDlg.h"
#include "pages/CFWDlg.h"
#include "resources/resource.h"
#include "tests/support/Harness.h"

#include <gtest/gtest.h>
#include <QAccessible>
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

QAccessibleInterface* Of(QObject* object) {
    return QAccessible::queryAccessibleInterface(object);
}
QString NameOf(QObject* object) {
    return Of(object)->text(QAccessible::Name);
}

// The tree under node, child by child: usable controls without a name, and children that do not
// give node back as their parent.
QStringList Faults(QAccessibleInterface* node, const QString& path = {}) {
    static const QList<QAccessible::Role> usable = {
        QAccessible::PushButton,   QAccessible::CheckBox, QAccessible::RadioButton,
        QAccessible::EditableText, QAccessible::ComboBox, QAccessible::PageTab};
    QStringList faults;
    for (int i = 0; i < node->childCount(); ++i) {
        QAccessibleInterface* child = node->child(i);
        const QString at = path + QStringLiteral("/%1 ").arg(i);
        if (child->parent() != node || node->indexOfChild(child) != i) faults << at + "misplaced";
        if ((usable.contains(child->role()) || child->state().focusable) &&
            child->text(QAccessible::Name).isEmpty())
            faults << at + child->object()->metaObject()->className();
        faults << Faults(child, at);
    }
    return faults;
}

class DesktopTest : public ::testing::Test {
protected:
    DesktopTest() { h.main.show(); }

    // Unnamed controls of a pop-up, and whether it is not transient for the main window.
    std::string FaultsOfPopUp(QWidget* window) {
        QStringList faults = Faults(Of(window));
        if (window->windowHandle()->transientParent() != h.main.windowHandle()) faults << "owner";
        return faults.join(',').toStdString();
    }
    QStringList Tabs(bool selectedOnly) {
        QStringList names;
        for (int i = 0; i < Of(&h.main)->childCount(); ++i) {
            QAccessibleInterface* list = Of(&h.main)->child(i);
            for (int k = 0; list->role() == QAccessible::PageTabList && k < list->childCount();
                 ++k) {
                if (list->child(k)->role() == QAccessible::PageTab &&
                    (!selectedOnly || list->child(k)->state().selected))
                    names << list->child(k)->text(QAccessible::Name);
            }
        }
        return names;
    }
    void Mouse(QEvent::Type type, QPoint global, Qt::MouseButtons buttons) {
        QWidget* label = h.main.Item(IDC_PORT_LABEL);  // pressed on a static of the General page
        QMouseEvent event(type, label->mapFromGlobal(QPointF(global)), QPointF(global),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(label, &event);
    }

    Harness h;
};

TEST_F(DesktopTest, EveryWindowNamesItsControlsAndPopsUpOverTheMainWindow) {
    for (int page : {kPageGeneral, kPageEdid, kPageSwitch, kPageFirmware}) {
        h.main.OnTabClicked(page);
        h.main.Link().ready = 1;
        EXPECT_EQ(Faults(Of(&h.main)).join(',').toStdString(), "") << page;
    }
    EXPECT_EQ(NameOf(h.main.Item(IDC_CLOSE)), "Close");
    EXPECT_EQ(NameOf(h.main.Item(IDC_MINIMIZE)), "Minimize");

    // The system's file chooser runs its own loop; it is looked at and cancelled from inside.
    std::string chooser = "not shown";
    QTimer::singleShot(0, [&] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            chooser =
                dialog->windowHandle()->transientParent() == h.main.windowHandle() ? "" : "owner";
            dialog->reject();
        }
    });
    Harness::Click(h.main.FirmwarePage(), IDC_FW_OPEN);
    EXPECT_EQ(chooser, "");

    h.program.popUps.Ask(QStringLiteral("Do you want to reset to factory settings?"), {});
    EXPECT_EQ(FaultsOfPopUp(h.program.popUps.MessageWindow()), "");
    // The text is drawn, so the window carries it.
    EXPECT_EQ(NameOf(h.program.popUps.MessageWindow()), h.program.popUps.MessageText());
    h.CloseMessage();
    h.program.popUps.ShowBusy(QStringLiteral("Setting"));
    EXPECT_EQ(FaultsOfPopUp(h.program.popUps.BusyWindow()), "");
    h.program.popUps.CloseBusy();
    CDialog* about = h.main.ShowAbout();
    EXPECT_EQ(FaultsOfPopUp(about), "");
    about->EndDialog(kIdOk);

    Harness::Click(&h.main, IDC_TCP_MODE);
    Harness::Click(&h.main, IDC_CONFIG);
    CConfigIPDlg* config = h.main.Network().ConfigDialog();
    EXPECT_EQ(FaultsOfPopUp(config), "");
    QStringList names;
    for (int id = IDC_CFG_IP1; id < IDC_CFG_IP1 + 4; ++id)
        names << NameOf(config->Item(id));
    for (int id = IDC_CFG_MAC1; id < IDC_CFG_MAC1 + 6; ++id)
        names << NameOf(config->Item(id));
    EXPECT_EQ(names.join(','),
              "IP address 1,IP address 2,IP address 3,IP address 4,"
              "MAC 1,MAC 2,MAC 3,MAC 4,MAC 5,MAC 6");
}

TEST_F(DesktopTest, TabRowIsAPageTabListWhoseSelectionFollowsThePage) {
    EXPECT_EQ(Tabs(false).join(','), "General,EDID,Switch,FW Upgrade");
    EXPECT_EQ(Tabs(true), QStringList{"General"});
    QAccessibleInterface* tab = Of(h.main.Item(IDC_TAB_SWITCH));
    const QPoint onSwitch = tab->rect().center();
    EXPECT_EQ(Of(&h.main)->childAt(onSwitch.x(), onSwitch.y())->childAt(onSwitch.x(), onSwitch.y()),
              tab);

    h.main.OnTabClicked(kPageEdid);
    EXPECT_EQ(Tabs(true), QStringList{"EDID"});
    // Its press action is a click, refused while an exchange is outstanding.
    h.main.Link().ready = 0;
    tab->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(Tabs(true), QStringList{"EDID"});
    h.main.Link().ready = 1;
    tab->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(Tabs(true), QStringList{"Switch"});
}

TEST_F(DesktopTest, LinkIconsSayWhetherTheLinkIsUp) {
    EXPECT_EQ(NameOf(h.main.Item(IDC_COM_ICON)), "Disconnected");
    Harness::Click(&h.main, IDC_TCP_MODE);
    Harness::Click(&h.main, IDC_SEARCH);
    h.sockets.datagram->Arrive(test::SearchReplyBytes("02:43:56:00:00:01", "198.51.100.10"));
    Harness::Click(&h.main, IDC_TCP_CONNECT);
    h.sockets.stream->FinishConnect(0);
    EXPECT_EQ(NameOf(h.main.Item(IDC_TCP_ICON)), "Connected");
    h.sockets.stream->PeerClose();
    EXPECT_EQ(NameOf(h.main.Item(IDC_TCP_ICON)), "Disconnected");
}

TEST_F(DesktopTest, ADragMovesTheWindowByHandWhereThePlatformCannot) {
    ASSERT_FALSE(h.main.windowHandle()->startSystemMove());  // as on X11 without the request
    h.main.move(100, 100);
    const QPoint press = h.main.Item(IDC_PORT_LABEL)->mapToGlobal(QPoint(2, 2));
    Mouse(QEvent::MouseButtonPress, press, Qt::LeftButton);
    Mouse(QEvent::MouseMove, press + QPoint(30, 40), Qt::LeftButton);
    EXPECT_EQ(h.main.pos(), QPoint(130, 140));
    Mouse(QEvent::MouseButtonRelease, press + QPoint(30, 40), Qt::NoButton);
    Mouse(QEvent::MouseMove, press + QPoint(50, 50), Qt::NoButton);
    EXPECT_EQ(h.main.pos(), QPoint(130, 140));
}

// The first test again as a client of a headless weston: in the protocol every toplevel after
// the main window's must get that one as its parent. Skipped without weston or the plug-in.
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
    compositor.start(weston, {"--backend=headless-backend.so", "--socket=corvane-test",
                              "--config=" + config.fileName(), "--idle-time=0"});
    QDeadlineTimer deadline(20000);
    while (!QFile::exists(runtime.filePath("corvane-test")) && !deadline.hasExpired())
        compositor.waitForFinished(50);
    if (compositor.state() != QProcess::Running) GTEST_SKIP() << "weston did not start here";

    QProcess client;
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    env.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("corvane-test"));
    env.insert(QStringLiteral("WAYLAND_DEBUG"), QStringLiteral("client"));
    // Under the sanitizer build, leaks of the Wayland plug-in are not this test's business.
    env.insert(QStringLiteral("ASAN_OPTIONS"),
               env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0"));
    client.setProcessEnvironment(env);
    client.start(
        QCoreApplication::applicationFilePath(),
        {"--gtest_filter=DesktopTest.EveryWindowNamesItsControlsAndPopsUpOverTheMainWindow"});
    ASSERT_TRUE(client.waitForFinished(60000));
    EXPECT_EQ(client.exitCode(), 0) << client.readAllStandardOutput().toStdString();
    compositor.terminate();
    compositor.waitForFinished(5000);

    const QRegularExpression made(R"(get_toplevel\(new id xdg_toplevel@(\d+)\))");
    const QRegularExpression parent(R"(xdg_toplevel@(\d+)\.set_parent\(xdg_toplevel@(\d+)\))");
    QString main;
    QStringList waiting;
    int parented = 0;
    for (const QString& line : QString::fromUtf8(client.readAllStandardError()).split('\n')) {
        if (const auto m = made.match(line); m.hasMatch()) {
            (main.isEmpty() ? main : waiting.emplace_back()) = m.captured(1);
        } else if (const auto p = parent.match(line); p.hasMatch() && p.captured(2) == main) {
            parented += waiting.removeAll(p.captured(1)) > 0 ? 1 : 0;
        }
    }
    EXPECT_TRUE(waiting.isEmpty()) << waiting.join(',').toStdString();
    EXPECT_GE(parented, 5);  // file chooser, message, busy, About, configuration
}

}  // namespace
}  // namespace corvane
