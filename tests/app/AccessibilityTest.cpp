// What a screen reader finds: every control that can be used has a name, the tab row is a page
// tab list that follows the page in front, and the link icons say the link state.
#include "app/CConfigIPDlg.h"
#include "resources/resource.h"
#include "tests/support/Harness.h"

#include <gtest/gtest.h>
#include <QAccessible>

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
std::string FaultsOf(QObject* window) {
    return Faults(Of(window)).join(',').toStdString();
}

QStringList Tabs(QAccessibleInterface* list, bool selectedOnly) {
    QStringList names;
    for (int i = 0; i < list->childCount(); ++i) {
        if (list->child(i)->role() == QAccessible::PageTab &&
            (!selectedOnly || list->child(i)->state().selected))
            names << list->child(i)->text(QAccessible::Name);
    }
    return names;
}

TEST(AccessibilityTest, EveryWindowNamesItsControls) {
    Harness h;
    for (int page : {kPageGeneral, kPageEdid, kPageSwitch, kPageFirmware}) {
        h.main.OnTabClicked(page);
        h.program.link.ready = 1;
        EXPECT_EQ(FaultsOf(&h.main), "") << page;
    }
    EXPECT_EQ(NameOf(h.main.Item(IDC_CLOSE)), "Close");
    EXPECT_EQ(NameOf(h.main.Item(IDC_MINIMIZE)), "Minimize");

    h.program.popUps.Ask(QStringLiteral("Do you want to reset to factory settings?"), {});
    EXPECT_EQ(FaultsOf(h.program.popUps.MessageWindow()), "");
    // The text is drawn, so the window carries it.
    EXPECT_EQ(NameOf(h.program.popUps.MessageWindow()), h.program.popUps.MessageText());
    h.CloseMessage();
    h.program.popUps.ShowBusy(QStringLiteral("Setting"));
    EXPECT_EQ(FaultsOf(h.program.popUps.BusyWindow()), "");
    h.program.popUps.CloseBusy();
    EXPECT_EQ(FaultsOf(h.main.ShowAbout()), "");

    Harness::Click(&h.main, IDC_TCP_MODE);
    Harness::Click(&h.main, IDC_CONFIG);
    CConfigIPDlg* config = h.main.Network().ConfigDialog();
    EXPECT_EQ(FaultsOf(config), "");
    QStringList names;
    for (int id = IDC_CFG_IP1; id < IDC_CFG_IP1 + 4; ++id)
        names << NameOf(config->Item(id));
    for (int id = IDC_CFG_MAC1; id < IDC_CFG_MAC1 + 6; ++id)
        names << NameOf(config->Item(id));
    EXPECT_EQ(names.join(','),
              "IP address 1,IP address 2,IP address 3,IP address 4,"
              "MAC 1,MAC 2,MAC 3,MAC 4,MAC 5,MAC 6");
}

TEST(AccessibilityTest, TabRowIsAPageTabListWhoseSelectionFollowsThePage) {
    Harness h;
    h.main.show();
    QAccessibleInterface* list = nullptr;
    for (int i = 0; i < Of(&h.main)->childCount(); ++i) {
        if (Of(&h.main)->child(i)->role() == QAccessible::PageTabList) list = Of(&h.main)->child(i);
    }
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(Tabs(list, false).join(','), "General,EDID,Switch,FW Upgrade");
    EXPECT_EQ(Tabs(list, true), QStringList{"General"});
    const QPoint onSwitch = list->child(2)->rect().center();
    EXPECT_EQ(Of(&h.main)->childAt(onSwitch.x(), onSwitch.y()), list);
    EXPECT_EQ(list->childAt(onSwitch.x(), onSwitch.y()), list->child(2));

    h.main.OnTabClicked(kPageEdid);
    EXPECT_EQ(Tabs(list, true), QStringList{"EDID"});
    // Its press action is a click, refused while an exchange is outstanding.
    h.program.link.ready = 0;
    list->child(2)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(Tabs(list, true), QStringList{"EDID"});
    h.program.link.ready = 1;
    list->child(2)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(Tabs(list, true), QStringList{"Switch"});
}

TEST(AccessibilityTest, LinkIconsSayWhetherTheLinkIsUp) {
    Harness h;
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

}  // namespace
}  // namespace corvane
