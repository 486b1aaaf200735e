#include "framework/Clock.h"
#include "resources/resource.h"
#include "widgets/CMessageDlg.h"
#include "widgets/CStatusDlg.h"
#include "widgets/PopUps.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QCoreApplication>
#include <QImage>
#include <QWidget>

#include <vector>

namespace corvane {
namespace {

void Click(CDialog* d, int id) {
    qobject_cast<QAbstractButton*>(d->Item(id))->click();
}

class PopUpsTest : public ::testing::Test {
protected:
    PopUpsTest() {
        owner.resize(600, 500);
        owner.show();
        popUps.SetOwner(&owner);
    }
    ~PopUpsTest() override { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    ManualClock clock;
    QWidget owner;
    PopUps popUps{clock};
    std::vector<int> results;
    PopUps::Then Record() {
        return [this](int r) { results.push_back(r); };
    }
};

TEST_F(PopUpsTest, MessageRunsModalAndReportsOkAfterTheHandlerReturns) {
    popUps.ShowMessage("Time out!", Record());
    CMessageDlg* m = popUps.MessageWindow();
    ASSERT_NE(m, nullptr);
    EXPECT_TRUE(popUps.MessageOpen());
    EXPECT_TRUE(m->isVisible());
    EXPECT_EQ(m->windowModality(), Qt::WindowModal);
    EXPECT_FALSE(m->Item(IDC_MSG_CANCEL)->isVisible());
    EXPECT_FALSE(m->Item(IDC_MSG_NO_REMIND)->isVisible());

    Click(m, IDC_MSG_OK);
    EXPECT_FALSE(popUps.MessageOpen());
    EXPECT_TRUE(results.empty());
    clock.RunPending();
    EXPECT_EQ(results, std::vector<int>{kResultOk});
}

TEST_F(PopUpsTest, SecondShowOnlyChangesTheText) {
    popUps.ShowMessage("Open COM failed!", Record());
    CMessageDlg* first = popUps.MessageWindow();
    popUps.ShowMessage("Time out!", Record());
    EXPECT_EQ(popUps.MessageWindow(), first);
    EXPECT_EQ(popUps.MessageText(), "Time out!");
    EXPECT_EQ(results, std::vector<int>{kResultNotShown});  // the second caller went on at once
    Click(first, IDC_MSG_CLOSE);
    clock.RunPending();
    EXPECT_EQ(results, (std::vector<int>{kResultNotShown, kResultCancel}));
}

TEST_F(PopUpsTest, QuestionLaysOutNoLongerRemindOkCancel) {
    popUps.Ask("Do you want to reset to factory settings?", Record());
    CMessageDlg* m = popUps.MessageWindow();
    ASSERT_TRUE(popUps.ConfirmationMode());
    QWidget* remind = m->Item(IDC_MSG_NO_REMIND);
    QWidget* ok = m->Item(IDC_MSG_OK);
    QWidget* cancel = m->Item(IDC_MSG_CANCEL);
    EXPECT_TRUE(remind->isVisible());
    EXPECT_TRUE(cancel->isVisible());
    EXPECT_LT(remind->x(), ok->x());
    EXPECT_LT(ok->x(), cancel->x());
    // The two buttons swapped template places.
    EXPECT_EQ(ok->pos(), m->MapDialogRect(94, 60, 41, 11).topLeft());
    EXPECT_EQ(cancel->pos(), m->MapDialogRect(137, 60, 41, 11).topLeft());
    m->grab();  // paints: the picture moves for the question
    EXPECT_EQ(m->Item(IDC_MSG_PICTURE)->pos(), QPoint(9, 60));

    Click(m, IDC_MSG_CANCEL);
    clock.RunPending();
    EXPECT_EQ(results, std::vector<int>{kResultCancel});
    EXPECT_FALSE(popUps.ConfirmationMode());
}

TEST_F(PopUpsTest, NoLongerRemindIsKeptAfterCancel) {
    popUps.Ask("Do you want to reset to factory settings?", Record());
    CMessageDlg* m = popUps.MessageWindow();
    Click(m, IDC_MSG_NO_REMIND);
    EXPECT_TRUE(popUps.NoLongerRemind());
    Click(m, IDC_MSG_CANCEL);
    clock.RunPending();
    EXPECT_TRUE(popUps.NoLongerRemind());

    // The next ordinary message is laid out without the question's controls.
    popUps.ShowMessage("Time out!");
    EXPECT_FALSE(popUps.MessageWindow()->Item(IDC_MSG_NO_REMIND)->isVisible());
}

TEST_F(PopUpsTest, UnticksClearTheFlagWhicheverButtonCloses) {
    popUps.Ask("Do you want to reset to factory settings?", Record());
    CMessageDlg* m = popUps.MessageWindow();
    Click(m, IDC_MSG_NO_REMIND);
    Click(m, IDC_MSG_NO_REMIND);
    EXPECT_FALSE(popUps.NoLongerRemind());
    Click(m, IDC_MSG_OK);
    clock.RunPending();
    EXPECT_EQ(results, std::vector<int>{kResultOk});
}

TEST_F(PopUpsTest, TextRectangleFollowsTheMessageText) {
    EXPECT_EQ(CMessageDlg::TextRect("Connect to Matrix failed!"),
              QRect(QPoint(100, 60), QPoint(254, 99)));
    EXPECT_EQ(CMessageDlg::TextRect("Please open the file(.fw)!"),
              QRect(QPoint(100, 60), QPoint(259, 99)));
    EXPECT_EQ(CMessageDlg::TextRect("Do you want to reset to factory settings?"),
              QRect(QPoint(50, 60), QPoint(319, 99)));
    EXPECT_EQ(CMessageDlg::TextRect("Time out!"), QRect(QPoint(100, 60), QPoint(219, 99)));
    EXPECT_EQ(CMessageDlg::TextRect("time out!"), CMessageDlg::TextRect("Time out!"));
}

TEST_F(PopUpsTest, TextWiderThanItsRectangleIsCutAtTheEdges) {
    popUps.ShowMessage(QString(60, QChar('W')));
    const QImage img = popUps.MessageWindow()->grab().toImage();
    const QRect r = CMessageDlg::TextRect("x");
    bool inside = false;
    for (int x = r.left(); x <= r.right() && !inside; ++x)
        inside = img.pixelColor(x, 80) != Qt::white;
    EXPECT_TRUE(inside);
    for (int y = r.top(); y <= r.bottom(); ++y) {
        EXPECT_EQ(img.pixelColor(r.left() - 2, y), QColor(Qt::white)) << y;
        EXPECT_EQ(img.pixelColor(r.right() + 2, y), QColor(Qt::white)) << y;
    }
}

// The reason line under "Open COM failed!" leaves the first line as it is and belongs to
// its text: a new text drops it.
TEST_F(PopUpsTest, DetailLineGoesUnderTheTextAndLeavesTheTextAlone) {
    popUps.ShowMessage("Open COM failed!");
    const QImage plain = popUps.MessageWindow()->grab().toImage();
    popUps.ShowMessage("Open COM failed!",
                       "No permission for ttyUSB0 (group dialout).\nRun: sudo "
                       "usermod -aG dialout alice, then log in again.");
    EXPECT_EQ(popUps.MessageDetail().left(17), "No permission for");
    const QImage detailed = popUps.MessageWindow()->grab().toImage();
    ASSERT_EQ(plain.size(), detailed.size());

    const QRect text = CMessageDlg::TextRect("Open COM failed!");
    const QRect detail = CMessageDlg::DetailRect(plain.width());
    auto darkPixels = [](const QImage& img, QRect r) {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                n += img.pixelColor(x, y).value() < 128;
        return n;
    };
    // Everything above the detail rectangle, the first line included, is pixel for pixel the same.
    const QRect above(0, 0, plain.width(), detail.top());
    EXPECT_EQ(plain.copy(above), detailed.copy(above));
    EXPECT_GT(darkPixels(plain, text), 0);
    EXPECT_EQ(darkPixels(plain, detail), 0);
    EXPECT_GT(darkPixels(detailed, detail), 0);
    // The detail stays inside its rectangle, above the button strip.
    const QRect below(0, detail.bottom() + 1, plain.width(), plain.height() - detail.bottom() - 1);
    EXPECT_EQ(plain.copy(below), detailed.copy(below));

    // Both lines of the reason fit at the larger size; a longer one gets a smaller font.
    const QString reason = popUps.MessageDetail();
    EXPECT_EQ(CMessageDlg::DetailFont(reason, detail).pixelSize(), 11);
    EXPECT_EQ(CMessageDlg::DetailFont(reason + " " + reason, detail).pixelSize(), 10);

    popUps.ShowMessage("Time out!");
    EXPECT_TRUE(popUps.MessageDetail().isEmpty());
    EXPECT_EQ(darkPixels(popUps.MessageWindow()->grab().toImage(), detail), 0);
}

TEST_F(PopUpsTest, BusyDotsCycleEvery300ms) {
    popUps.ShowBusy("Setting", Record());
    CStatusDlg* b = popUps.BusyWindow();
    ASSERT_NE(b, nullptr);
    EXPECT_TRUE(popUps.BusyOpen());
    EXPECT_EQ(b->ItemText(IDC_BUSY_TEXT), "Setting . . .");
    EXPECT_FALSE(b->Item(IDC_BUSY_PICTURE)->isVisible());
    const char* expected[] = {"Setting .", "Setting . .", "Setting . . .", "Setting ."};
    for (const char* text : expected) {
        clock.Advance(299);
        clock.Advance(1);
        EXPECT_EQ(b->ItemText(IDC_BUSY_TEXT), text);
    }
    // A new text is picked up at the next dot step.
    popUps.ShowBusy("Configuring", Record());
    EXPECT_EQ(results, std::vector<int>{kResultNotShown});
    clock.Advance(300);
    EXPECT_EQ(b->ItemText(IDC_BUSY_TEXT), "Configuring . .");
}

TEST_F(PopUpsTest, FinishStopsTheDotsAndShowsThePictureThenCloseEndsIt) {
    popUps.ShowBusy("Setting", Record());
    CStatusDlg* b = popUps.BusyWindow();
    clock.Advance(300);
    popUps.SetBusyText("Set successfully!");
    popUps.FinishBusy();
    EXPECT_EQ(b->ItemText(IDC_BUSY_TEXT), "Set successfully!");
    EXPECT_TRUE(b->Item(IDC_BUSY_PICTURE)->isVisible());
    clock.Advance(3000);
    EXPECT_EQ(b->ItemText(IDC_BUSY_TEXT), "Set successfully!");
    EXPECT_TRUE(popUps.BusyOpen());

    popUps.CloseBusy();
    EXPECT_FALSE(popUps.BusyOpen());
    EXPECT_FALSE(b->isVisible());
    clock.RunPending();
    EXPECT_EQ(results, std::vector<int>{kResultOk});
}

TEST_F(PopUpsTest, FinishingOrClosingABusyPopUpThatIsNotOpenChangesNothing) {
    popUps.FinishBusy();
    popUps.CloseBusy();
    EXPECT_FALSE(popUps.BusyOpen());
    EXPECT_EQ(popUps.BusyWindow(), nullptr);
    clock.RunPending();
    EXPECT_TRUE(results.empty());
}

TEST_F(PopUpsTest, TimeOutMessageCanOpenAsTheBusyPopUpCloses) {
    popUps.ShowBusy("Setting", Record());
    popUps.CloseBusy();
    popUps.ShowMessage("Time out!", Record());
    EXPECT_TRUE(popUps.MessageOpen());
    EXPECT_FALSE(popUps.BusyOpen());
    Click(popUps.MessageWindow(), IDC_MSG_OK);
    clock.RunPending();
    EXPECT_EQ(results, (std::vector<int>{kResultOk, kResultOk}));
}

TEST_F(PopUpsTest, MessagePopUpFiltersKeysTheBusyPopUpDoesNot) {
    popUps.ShowMessage("Time out!");
    popUps.ShowBusy("Setting");
    EXPECT_TRUE(popUps.MessageWindow()->FiltersKeys());
    EXPECT_FALSE(popUps.BusyWindow()->FiltersKeys());
}

}  // namespace
}  // namespace corvane
