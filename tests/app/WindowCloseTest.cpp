// A close request from the window manager, delivered through the platform as a close event: each
// window takes it as its own cancelling control, and the program takes commands afterwards.
#include "resources/resource.h"
#include "tests/support/Harness.h"

#include <gtest/gtest.h>
#include <QPointer>
#include <QWindow>

namespace corvane {
namespace {

using test::Harness;

class WindowCloseTest : public ::testing::Test {
protected:
    void CloseFromWindowManager(QWidget* window) {
        ASSERT_TRUE(window && window->windowHandle());
        window->windowHandle()->close();
        h.Settle();
    }
    Harness h;
};

TEST_F(WindowCloseTest, PopUpsOfTheFactoryResetGiveTheReadyFlagBack) {
    Harness::Click(&h.main, IDC_FACTORY_RESET);
    CloseFromWindowManager(h.program.popUps.MessageWindow());  // the question: Cancel
    EXPECT_FALSE(h.program.popUps.BusyOpen());

    Harness::Click(&h.main, IDC_FACTORY_RESET);
    h.CloseMessage();
    CloseFromWindowManager(h.program.popUps.BusyWindow());  // refused while the reset runs
    EXPECT_TRUE(h.program.popUps.BusyWindow()->isVisible());
    h.Advance(6000);  // step 1 unanswered: given up with "Time out!"
    EXPECT_FALSE(h.program.popUps.BusyOpen());
    CloseFromWindowManager(h.program.popUps.MessageWindow());
    EXPECT_EQ(h.link.Count(), 1u);
    h.main.OnTabClicked(kPageSwitch);  // the next command goes out
    EXPECT_EQ(h.link.Count(), 2u);
}

TEST_F(WindowCloseTest, AboutBoxAndConfigDialogEndAsOkAndCancel) {
    QPointer<CDialog> about = h.main.ShowAbout();
    CloseFromWindowManager(about);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(about.isNull());

    Harness::Click(&h.main, IDC_TCP_MODE);
    Harness::Click(&h.main, IDC_CONFIG);
    CloseFromWindowManager(h.main.Network().ConfigDialog());
    EXPECT_EQ(h.main.Network().ConfigDialog(), nullptr);
    EXPECT_TRUE(h.sockets.sentDatagrams.empty());
    Harness::Click(&h.main, IDC_CONFIG);  // opens it again
    ASSERT_NE(h.main.Network().ConfigDialog(), nullptr);
    EXPECT_TRUE(h.main.Network().ConfigDialog()->isVisible());
}

TEST_F(WindowCloseTest, MainWindowEndsTheProgramAsItsCloseButtonDoes) {
    int quits = 0;
    h.main.SetQuitHandler([&] { ++quits; });
    h.main.show();
    CloseFromWindowManager(&h.main);
    EXPECT_EQ(quits, 1);
}

}  // namespace
}  // namespace corvane
