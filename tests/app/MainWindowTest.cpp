#include "app/CCorvaneDlg.h"
#include "pages/CEDIDDlg.h"
#include "pages/CFWDlg.h"
#include "pages/CMatrixDlg.h"
#include "resources/resource.h"
#include "tests/support/Harness.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>

namespace corvane {
namespace {

using test::Harness;

void PressLeft(QWidget* w, QPoint at) {
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), w->mapToGlobal(QPointF(at)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &press);
}

QPoint CentreOf(QWidget* w) {
    return w->geometry().center();
}

class MainWindowTest : public ::testing::Test {
protected:
    void ClickTab(int page) {
        PressLeft(&h.main, CentreOf(h.main.Item(CCorvaneDlg::TabLabelId(page))));
    }
    Harness h;
};

TEST_F(MainWindowTest, StartsOnGeneralWithComModeDisabledButtonsAndBlankInformation) {
    EXPECT_EQ(h.main.CurrentPage(), kPageGeneral);
    EXPECT_TRUE(h.main.IsItemChecked(IDC_COM_MODE));
    EXPECT_FALSE(h.main.IsItemEnabled(IDC_STATUS));
    EXPECT_FALSE(h.main.IsItemEnabled(IDC_CLEAR));
    for (int id = IDC_INFO_FIRST; id <= IDC_INFO_LAST; ++id)
        EXPECT_EQ(h.main.ItemText(id), "") << id;
    EXPECT_FALSE(h.main.IsItemEnabled(IDC_SEARCH));
    EXPECT_TRUE(h.main.IsItemEnabled(IDC_COM_CONNECT));
}

TEST_F(MainWindowTest, TabClickSwitchesPageAndPlacesThePages) {
    ClickTab(kPageEdid);
    EXPECT_EQ(h.main.CurrentPage(), kPageEdid);
    ASSERT_NE(h.main.EdidPage(), nullptr);
    EXPECT_EQ(h.main.EdidPage()->pos(), QPoint(1, 56));
    EXPECT_TRUE(h.main.EdidPage()->isVisibleTo(&h.main));
    EXPECT_FALSE(h.main.Item(IDC_COM_CONNECT)->isVisibleTo(&h.main));

    ClickTab(kPageFirmware);
    ASSERT_NE(h.main.FirmwarePage(), nullptr);
    EXPECT_EQ(h.main.FirmwarePage()->pos(), QPoint(1, 70));
    EXPECT_FALSE(h.main.EdidPage()->isVisibleTo(&h.main));

    ClickTab(kPageGeneral);
    EXPECT_TRUE(h.main.Item(IDC_COM_CONNECT)->isVisibleTo(&h.main));
    EXPECT_FALSE(h.main.FirmwarePage()->isVisibleTo(&h.main));
    EXPECT_EQ(h.main.DragCount(), 0);
}

TEST_F(MainWindowTest, TabsAreIgnoredWhileAnExchangeIsOutstanding) {
    h.main.Link().ready = 0;
    ClickTab(kPageEdid);
    EXPECT_EQ(h.main.CurrentPage(), kPageGeneral);
    EXPECT_EQ(h.main.EdidPage(), nullptr);
    EXPECT_EQ(h.main.DragCount(), 0);  // a click on a tab never drags, even when ignored
}

TEST_F(MainWindowTest, ClickOffTheTabsDragsTheWindow) {
    PressLeft(&h.main, QPoint(400, 20));                                   // band right of the tabs
    PressLeft(&h.main, QPoint(h.main.width() - 80, h.main.height() - 3));  // bottom edge
    EXPECT_EQ(h.main.DragCount(), 2);
    EXPECT_EQ(h.main.CurrentPage(), kPageGeneral);
}

TEST_F(MainWindowTest, SwitchTabSendsTheCurrentInputQueryEachTimeAndArmsTimer1000) {
    ClickTab(kPageSwitch);
    ASSERT_EQ(h.link.Count(), 1u);
    EXPECT_EQ(test::Hex(h.link.writes[0]), "A5 5B 02 01 01 00 00 00 00 00 00 00 FC");
    EXPECT_EQ(h.main.Link().ready, 0);
    EXPECT_TRUE(h.main.Session().MainTimeoutRunning());

    // A stop request of the page ends the time-out; the tab answers again.
    h.main.PostSendRequest(kStopMainTimeout);
    h.Settle();
    EXPECT_FALSE(h.main.Session().MainTimeoutRunning());
    h.main.Link().ready = 1;
    ClickTab(kPageSwitch);
    EXPECT_EQ(h.link.Count(), 2u);
}

TEST_F(MainWindowTest, SwitchQueryTimeOutShowsTimeOutAndFreesTheReadyFlagOnceClosed) {
    ClickTab(kPageSwitch);
    h.Advance(6999);
    EXPECT_FALSE(h.program.popUps.MessageOpen());
    h.Advance(1);
    EXPECT_TRUE(h.program.popUps.MessageOpen());
    EXPECT_EQ(h.program.popUps.MessageText(), "Time out!");
    EXPECT_EQ(h.main.Link().ready, 0);
    h.CloseMessage();
    EXPECT_EQ(h.main.Link().ready, 1);
    EXPECT_FALSE(h.main.Session().MainTimeoutRunning());
}

TEST_F(MainWindowTest, FirmwareTabSendsTheTypeQueryWithoutHoldingTheReadyFlag) {
    ClickTab(kPageFirmware);
    ASSERT_EQ(h.link.Count(), 1u);
    EXPECT_EQ(test::Hex(h.link.writes[0]), "A5 5B 01 01 00 00 00 00 00 00 CC 00 32");
    EXPECT_EQ(h.main.Link().ready, 1);
    ClickTab(kPageFirmware);
    EXPECT_EQ(h.link.Count(), 2u);
    EXPECT_FALSE(h.main.Session().MainTimeoutRunning());
}

TEST_F(MainWindowTest, WithoutALinkTheTabStillShowsThePageAndTheGuardReports) {
    h.main.Link().comUp = 0;
    ClickTab(kPageSwitch);
    EXPECT_EQ(h.main.CurrentPage(), kPageSwitch);
    EXPECT_TRUE(h.main.SwitchPage()->isVisibleTo(&h.main));
    EXPECT_EQ(h.link.Count(), 0u);
    EXPECT_EQ(h.program.popUps.MessageText(), "Open COM failed!");
    EXPECT_EQ(h.main.Link().ready, 1);
    h.CloseMessage();

    h.main.Link().controlMode = LinkState::kTcpMode;
    ClickTab(kPageFirmware);
    EXPECT_EQ(h.program.popUps.MessageText(), "Connect to Matrix failed!");
}

TEST_F(MainWindowTest, RepliesGoToThePageInFront) {
    // General reply handler: a frame on page 1 reaches no page; a frame after leaving to page 0 is
    // routed to General and the page value becomes 1.
    h.main.SetCurrentPage(0);
    h.Reply("01 0B 00 00 00 00 00 00 00 00");
    EXPECT_EQ(h.main.CurrentPage(), kPageGeneral);
    h.main.FlushLogs();
    const QString log = h.main.ItemText(IDC_RX_LOG);
    EXPECT_EQ(log, "A5 5B 01 0B 00 00 00 00 00 00 00 00 F4 \n");
}

TEST_F(MainWindowTest, GeneralFrameIsDrawnOnlyOnTheGeneralPage) {
    h.main.show();
    const QRect frame = h.main.GeneralFrameRect();
    const QPoint onFrame(frame.left() + 40, frame.top());
    const QColor face = h.main.palette().color(QPalette::Button);

    QImage general = h.main.RenderSurface().toImage();
    EXPECT_NE(general.pixelColor(onFrame), face);
    h.main.SetCurrentPage(kPageEdid);
    QImage edid = h.main.RenderSurface().toImage();
    EXPECT_EQ(edid.pixelColor(onFrame), face);
}

TEST_F(MainWindowTest, BandTabsAndCaptionFollowTheLayoutRules) {
    h.main.show();
    QCoreApplication::processEvents();
    const QImage img = h.main.RenderSurface().toImage();
    EXPECT_EQ(img.pixelColor(100, 30), QColor(30, 144, 225));  // band
    EXPECT_EQ(img.pixelColor(100, 55), QColor(30, 144, 225));  // its last row
    EXPECT_NE(img.pixelColor(100, 57), QColor(30, 144, 225));  // below the band
    EXPECT_EQ(img.pixelColor(0, 30), QColor(30, 120, 255));    // left band edge
    for (int page = kPageGeneral; page <= kPageFirmware; ++page) {
        const QRect tab = h.main.Item(CCorvaneDlg::TabLabelId(page))->geometry();
        EXPECT_EQ(tab.bottom() + 1, 56) << page;
    }
    const QRect g = h.main.Item(IDC_TAB_GENERAL)->geometry();
    const QRect e = h.main.Item(IDC_TAB_EDID)->geometry();
    EXPECT_EQ(e.left(), g.right() + 2);  // one pixel between neighbouring tabs
    EXPECT_EQ(h.main.Item(IDC_CLOSE)->geometry(), QRect(h.main.width() - 26, 1, 25, 25));
    EXPECT_EQ(h.main.Item(IDC_MINIMIZE)->geometry(), QRect(h.main.width() - 51, 1, 25, 25));

    // Caption: white pixels only inside (1,1)-(290,30), and more of them left of its centre
    // because of the 12 trailing blanks.
    int left = 0, right = 0;
    for (int y = 1; y < 30; ++y) {
        for (int x = 1; x < 290; ++x) {
            if (img.pixelColor(x, y) == Qt::white) (x < 145 ? left : right)++;
        }
    }
    EXPECT_GT(left, right);
    for (int y = 1; y < 56; ++y)
        EXPECT_NE(img.pixelColor(292, y), QColor(Qt::white)) << y;
}

TEST_F(MainWindowTest, GeneralControlsSitAtTheirTemplatePositions) {
    const DialogBaseUnits u = h.main.Units();
    EXPECT_EQ(h.main.Item(IDC_COM_MODE)->geometry(), u.ToPixels(19, 45, 82, 10));
    EXPECT_EQ(h.main.Item(IDC_COM_CONNECT)->geometry(), u.ToPixels(95, 106, 48, 12));
    EXPECT_EQ(h.main.Item(IDC_DEVICE_INFO_GROUP)->geometry(), u.ToPixels(152, 32, 188, 164));
    EXPECT_EQ(h.main.Item(IDC_ENABLE_BEEP)->geometry(), u.ToPixels(174, 221, 58, 10));
    EXPECT_EQ(h.main.size(), QSize(u.X(342), u.Y(246)));
}

// The frameless window sets its flags after its controls exist; they must keep the dialog font
// (with the application font "Switcher IP" no longer fits its 37 units).
TEST_F(MainWindowTest, ControlsUseTheDialogFontAndTheirTextsFit) {
    const QFont dialog = DialogFont();
    for (int id : {IDC_COM_MODE, IDC_PORT_LABEL, IDC_SWITCHER_IP_LABEL, IDC_FACTORY_RESET}) {
        QWidget* w = h.main.Item(id);
        EXPECT_EQ(w->font().family().toStdString(), dialog.family().toStdString()) << id;
        EXPECT_EQ(w->font().pixelSize(), dialog.pixelSize()) << id;
    }
    QLabel* label = h.main.ItemAs<QLabel>(IDC_SWITCHER_IP_LABEL);
    EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width());
}

TEST_F(MainWindowTest, ClearBlanksTheInformationAndTheReceiveLogButNotItsCounter) {
    h.main.SetCurrentPage(kPageSwitch);  // no Switch handler yet: frames are only logged
    h.Reply("01 0B 00 00 00 00 00 00 00 00");
    h.main.FlushLogs();
    EXPECT_FALSE(h.main.ItemText(IDC_RX_LOG).isEmpty());
    h.main.EnableItem(IDC_CLEAR, true);  // disabled from the start; enable to reach the handler
    Harness::Click(&h.main, IDC_CLEAR);
    EXPECT_TRUE(h.main.ItemText(IDC_RX_LOG).isEmpty());
    // A reply that the box has not taken in yet goes as well.
    h.Reply("01 0B 00 00 00 00 00 00 00 00");
    Harness::Click(&h.main, IDC_CLEAR);
    h.main.FlushLogs();
    EXPECT_TRUE(h.main.ItemText(IDC_RX_LOG).isEmpty());
    EXPECT_EQ(h.main.Log().ReceivedFrames(), 2);
}

TEST_F(MainWindowTest, LoggedTextReachesTheBoxesOnItsOwnSoonAfter) {
    h.main.Tx().Compose(0x01, 0x0B);
    h.main.Sender().Send(h.main.Tx().frame);
    h.Reply("01 0B 00 00 00 00 00 00 00 00");
    QElapsedTimer waited;
    waited.start();
    while ((h.main.ItemText(IDC_TX_LOG).isEmpty() || h.main.ItemText(IDC_RX_LOG).isEmpty()) &&
           waited.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    EXPECT_EQ(h.main.ItemText(IDC_TX_LOG), "A5 5B 01 0B 00 00 00 00 00 00 00 00 F4 \n");
    EXPECT_EQ(h.main.ItemText(IDC_RX_LOG), "A5 5B 01 0B 00 00 00 00 00 00 00 00 F4 \n");
}

// The edit takes the log's lines whole; what it shows must not depend on how they were cut.
TEST_F(MainWindowTest, SendLogShowsAFrameAndADataBlockInLinesOfThirteenBytes) {
    h.main.Tx().Compose(0x01, 0x0B);
    h.main.Sender().Send(h.main.Tx().frame);
    Block block{};
    for (int i = 1; i <= 256; ++i)
        block[i] = static_cast<std::uint8_t>(i);
    h.main.Sender().Send(block);  // checksum 0x80 in front
    QString expected = "A5 5B 01 0B 00 00 00 00 00 00 00 00 F4 \n80 ";
    for (int i = 1; i <= 256; ++i) {
        expected += QString::asprintf("%02X ", i & 0xFF);
        if ((i + 1) % 13 == 0) expected += '\n';
    }
    expected += "\n\n";
    h.main.FlushLogs();
    EXPECT_EQ(h.main.ItemAs<QPlainTextEdit>(IDC_TX_LOG)->toPlainText(), expected);
}

// New text goes in at the caret, which moves past it and stays in view, as typing would.
TEST_F(MainWindowTest, LogTextGoesInAtTheCaretWhichStaysInView) {
    h.main.show();
    auto* edit = h.main.ItemAs<QPlainTextEdit>(IDC_TX_LOG);
    Block block{};
    h.main.Sender().Send(block);
    h.main.FlushLogs();
    const auto caretInView = [edit] {
        return edit->viewport()->rect().contains(edit->cursorRect().center());
    };
    EXPECT_GT(edit->verticalScrollBar()->maximum(), 0) << "the block should not fit the box";
    EXPECT_TRUE(caretInView());

    const QString before = edit->toPlainText();
    QTextCursor start = edit->textCursor();
    start.movePosition(QTextCursor::Start);
    edit->setTextCursor(start);
    h.main.Tx().Compose(0x01, 0x0B);
    h.main.Sender().Send(h.main.Tx().frame);
    h.main.FlushLogs();
    const QString frameLine = "A5 5B 01 0B 00 00 00 00 00 00 00 00 F4 \n";
    EXPECT_EQ(edit->toPlainText(), frameLine + before);
    EXPECT_EQ(edit->textCursor().position(), frameLine.size());
    EXPECT_TRUE(caretInView());
}

TEST_F(MainWindowTest, KeyFilterSwallowsEnterEscapeAndSpaceOnTheWindowAndItsControls) {
    int closes = 0;
    h.main.SetQuitHandler([&] { ++closes; });
    QWidget* close = h.main.Item(IDC_CLOSE);
    for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape, Qt::Key_Space}) {
        for (QWidget* target : {close, static_cast<QWidget*>(&h.main)}) {
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
            QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
            QCoreApplication::sendEvent(target, &press);
            QCoreApplication::sendEvent(target, &release);
            EXPECT_TRUE(h.main.eventFilter(target, &press)) << key;
        }
    }
    h.Settle();
    EXPECT_EQ(closes, 0);
    QKeyEvent letter(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier);
    EXPECT_FALSE(h.main.eventFilter(close, &letter));
}

TEST_F(MainWindowTest, CloseButtonAsksTheProgramToEnd) {
    int closes = 0;
    h.main.SetQuitHandler([&] { ++closes; });
    Harness::Click(&h.main, IDC_CLOSE);
    EXPECT_EQ(closes, 0);  // posted
    h.Settle();
    EXPECT_EQ(closes, 1);
}

}  // namespace
}  // namespace corvane
