#include "pages/CMatrixDlg.h"
#include "resources/resource.h"
#include "tests/support/Harness.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>

namespace corvane {
namespace {

using test::Harness;

// Bytes 2..6 of a frame as FakeLink writes bodies; bytes 7..11 are zero on this page.
std::string B(int b2, int b3, int b4, int b6) {
    char s[40];
    std::snprintf(s, sizeof s, "%02X %02X %02X 00 %02X 00 00 00 00 00", b2, b3, b4, b6);
    return s;
}

struct Step {
    std::string sent, reply;
};

// What the device is asked and answers after it reports or confirms an input.
std::vector<Step> FollowUps(int input, bool onShow) {
    const Step audio{B(0x90, 0x0C, 0, input), B(0x90, 0x0C, 2, input)};
    const Step resolution{B(0x90, 0x06, 0, 1), B(0x90, 0x06, 3, 1)};
    const Step vga{B(0x90, 0x01, 0, input), B(0x90, 0x01, 2, input)};
    if (input <= 2) return {audio};
    if (input <= 5) return {audio, resolution};
    if (input <= 7) return onShow ? std::vector<Step>{resolution, vga} : std::vector<Step>{vga};
    return onShow ? std::vector<Step>{resolution} : std::vector<Step>{};
}

std::vector<Step> ShowChain(int input) {
    auto steps = FollowUps(input, true);
    steps.insert(steps.begin(), {B(0x02, 0x01, 1, 0), B(0x02, 0x01, 1, input)});
    return steps;
}

struct Click {
    int id;
    std::vector<Step> steps;
};

// Every chain a click starts, with the current input at 6.
std::vector<Click> ClickChains() {
    std::vector<Click> clicks;
    for (int input = 1; input <= 8; ++input) {
        auto steps = FollowUps(input, false);
        steps.insert(steps.begin(), {B(0x02, 0x03, input, 1), B(0x02, 0x03, 0, 1)});
        clicks.push_back({IDC_SW_HDMI1 + input - 1, steps});
    }
    clicks.push_back({IDC_SW_1080P, {{B(0x0A, 0x06, 2, 1), B(0x0A, 0x06, 0, 1)}}});
    clicks.push_back({IDC_SW_EXT, {{B(0x0A, 0x0C, 2, 1), B(0x0A, 0x0C, 0, 1)}}});
    clicks.push_back({IDC_SW_AUTO_ADJUST, {{B(0x0A, 0x0E, 0, 1), B(0x0A, 0x0E, 0, 1)}}});
    clicks.push_back({IDC_SW_SCALER, {{B(0x0A, 0x0F, 0, 1), B(0x0A, 0x0F, 0, 1)}}});
    clicks.push_back({IDC_SW_YPBPR, {{B(0x0A, 0x01, 5, 6), B(0x0A, 0x01, 0, 6)}}});
    clicks.push_back({IDC_SW_RGBHV, {{B(0x0A, 0x01, 2, 6), B(0x0A, 0x01, 0, 6)}}});
    return clicks;
}

class SwitchPage : public ::testing::Test {
protected:
    std::unique_ptr<Harness> h = std::make_unique<Harness>();
    CMatrixDlg* page = nullptr;

    void Restart() { h = std::make_unique<Harness>(); }
    // Answers steps in order, checking each question; stops before step `stop`.
    void Run(const std::vector<Step>& steps, std::size_t stop = SIZE_MAX) {
        for (std::size_t i = 0; i < steps.size() && i < stop; ++i) {
            h->Settle();
            ASSERT_EQ(h->link.LastBody(), steps[i].sent) << "step " << i;
            h->Reply(steps[i].reply);
        }
        h->Settle();
    }
    void Show(int input) {
        h->main.OnTabClicked(kPageSwitch);
        page = h->main.SwitchPage();
        Run(ShowChain(input));
        ASSERT_TRUE(h->main.IsReady());
    }
    void Press(int id) {
        Harness::Click(page, id);
        h->Settle();
    }
    std::map<int, std::pair<bool, bool>> States() const {
        std::map<int, std::pair<bool, bool>> s;
        for (const Click& c : ClickChains())
            s[c.id] = {page->IsItemChecked(c.id), page->IsItemEnabled(c.id)};
        return s;
    }
    // Every button released and enabled, so that any of them can be clicked.
    void ReleaseAll() {
        for (const auto& [id, state] : States()) {
            page->CheckItem(id, false);
            page->EnableItem(id, true);
        }
    }
    // The exchange has ended: nothing more is asked, and no time-out is left to report.
    void ExpectIdle() {
        const auto sent = h->link.Count();
        EXPECT_TRUE(h->main.IsReady());
        h->Advance(20000);
        EXPECT_FALSE(h->program.popUps.MessageOpen());
        EXPECT_EQ(h->link.Count(), sent);
    }
    void ExpectTimeOutAt(std::int64_t due) {
        h->Advance(due - 1 - h->clock.Now());
        EXPECT_FALSE(h->program.popUps.MessageOpen());
        h->Advance(1);
        ASSERT_TRUE(h->program.popUps.MessageOpen());
        EXPECT_EQ(h->program.popUps.MessageText(), "Time out!");
        h->CloseMessage();
        EXPECT_TRUE(h->main.IsReady());
        h->main.OnTabClicked(kPageEdid);
        EXPECT_EQ(h->main.CurrentPage(), kPageEdid);
    }
};

// Each chain is run with each of its replies dropped in turn, and once whole.
TEST_F(SwitchPage, EveryChainEndsInItsLastReplyOrInATimeOutThatFreesTheLink) {
    for (int input = 1; input <= 8; ++input) {
        const auto steps = ShowChain(input);
        for (std::size_t drop = 0; drop <= steps.size(); ++drop) {
            SCOPED_TRACE(testing::Message() << "show " << input << " drop " << drop);
            Restart();
            h->main.OnTabClicked(kPageSwitch);
            page = h->main.SwitchPage();
            Run(steps, drop);
            if (drop < steps.size()) {
                ExpectTimeOutAt(7000);
                continue;
            }
            EXPECT_EQ(page->CurrentInput(), input);
            EXPECT_EQ(page->IsItemChecked(IDC_SW_EXT), input <= 5);
            EXPECT_EQ(page->IsItemChecked(IDC_SW_1360X768), input >= 3);
            EXPECT_EQ(page->IsItemChecked(IDC_SW_YPBPR), input == 6 || input == 7);
            ExpectIdle();
        }
    }
    for (const Click& c : ClickChains()) {
        for (std::size_t drop = 0; drop <= c.steps.size(); ++drop) {
            SCOPED_TRACE(testing::Message() << "click " << c.id << " drop " << drop);
            Restart();
            Show(6);
            ReleaseAll();
            const auto start = h->clock.Now();
            Harness::Click(page, c.id);
            Run(c.steps, drop);
            if (drop < c.steps.size()) {
                ExpectTimeOutAt(start + 7000);
                continue;
            }
            EXPECT_TRUE(page->IsItemChecked(c.id));
            if (c.id == IDC_SW_CV) {
                EXPECT_EQ(page->CurrentInput(), 6);  // CV ends at its confirmation
            }
            ExpectIdle();
        }
    }
}

TEST_F(SwitchPage, AClickChangesNoButtonAndIsRefusedWhileAnExchangeIsOut) {
    Show(3);
    const auto before = States();
    const auto sent = h->link.Count();
    Harness::Click(page, IDC_SW_HDMI3);
    EXPECT_EQ(States(), before);
    EXPECT_EQ(h->link.Count(), sent);  // goes out once the handler has returned
    EXPECT_TRUE(page->Controller().IsTimerRunning(CMatrixDlg::kTimeoutTimer));
    h->Settle();
    EXPECT_EQ(h->link.LastBody(), B(0x02, 0x03, 3, 1));
    Press(IDC_SW_720P);
    EXPECT_EQ(States(), before);
    EXPECT_EQ(h->link.Count(), sent + 1);
}

// Answers that come late or twice (a slow or repeating line) belong to no exchange under way:
// they must neither send the device a query nor end another command's exchange.
TEST_F(SwitchPage, LateAndRepeatedAnswersNeitherQueryNorEndAnotherExchange) {
    Show(6);
    const std::vector<std::string> stale = {B(0x02, 0x03, 0, 1), B(0x02, 0x01, 1, 3),
                                            B(0x90, 0x0C, 1, 6), B(0x90, 0x06, 3, 1),
                                            B(0x90, 0x01, 2, 6), B(0x0A, 0x06, 0, 1)};
    // While SCALER waits for its confirmation.
    Press(IDC_SW_SCALER);
    const auto sent = h->link.Count();
    for (const auto& reply : stale)
        h->Reply(reply);
    EXPECT_EQ(h->link.Count(), sent);
    EXPECT_FALSE(h->main.IsReady());
    h->Reply(B(0x0A, 0x0F, 0, 1));
    EXPECT_TRUE(h->main.IsReady());

    // A repeated confirmation of VGA 1 sends its format query once.
    Press(IDC_SW_VGA1);
    h->Reply(B(0x02, 0x03, 0, 1));
    h->Reply(B(0x02, 0x03, 0, 1));
    EXPECT_EQ(h->link.Count(), sent + 2);
    EXPECT_EQ(h->link.LastBody(), B(0x90, 0x01, 0, 6));

    // After the time-out, while "Time out!" is still up, the late answer asks nothing.
    h->Advance(7000);
    ASSERT_TRUE(h->program.popUps.MessageOpen());
    h->Reply(B(0x90, 0x01, 2, 6));
    h->CloseMessage();
    EXPECT_TRUE(h->main.IsReady());
    h->Reply(B(0x90, 0x06, 3, 1));
    EXPECT_EQ(h->link.Count(), sent + 2);

    // The same for the status chain of the page show, given up by the main window's time-out.
    h->main.OnTabClicked(kPageEdid);
    h->main.OnTabClicked(kPageSwitch);
    h->Settle();
    EXPECT_EQ(h->link.LastBody(), B(0x02, 0x01, 1, 0));
    h->Advance(7000);
    h->CloseMessage();
    const auto afterShow = h->link.Count();
    h->Reply(B(0x02, 0x01, 1, 3));
    EXPECT_EQ(h->link.Count(), afterShow);
    EXPECT_TRUE(h->main.IsReady());
}

// The device switched after all: a confirmation that comes after its time-out is applied and
// its chain runs, unless another exchange holds the link by then.
TEST_F(SwitchPage, ALateConfirmationIsAppliedUnlessAnotherExchangeHoldsTheLink) {
    Show(1);
    Press(IDC_SW_HDMI3);
    h->Advance(7000);
    h->Reply(B(0x02, 0x03, 0, 1));  // while "Time out!" is up
    EXPECT_TRUE(page->IsItemChecked(IDC_SW_HDMI3));
    h->CloseMessage();
    EXPECT_FALSE(h->main.IsReady());  // closing it does not free the link mid-chain
    Run(FollowUps(3, false));
    ExpectIdle();

    // After "Time out!" was closed.
    const std::pair<int, std::string> late[] = {{IDC_SW_720P, B(0x0A, 0x06, 0, 1)},
                                                {IDC_SW_HDMI4, B(0x02, 0x03, 0, 1)}};
    for (const auto& [id, reply] : late) {
        Press(id);
        h->Advance(7000);
        h->CloseMessage();
        ASSERT_TRUE(h->main.CheckLinkReady());  // another sender takes the link
        const auto sent = h->link.Count();
        h->Reply(reply);
        EXPECT_FALSE(page->IsItemChecked(id));
        EXPECT_FALSE(h->main.IsReady());
        EXPECT_EQ(h->link.Count(), sent);
        h->main.SetReady(true);
        h->Reply(reply);
        EXPECT_TRUE(page->IsItemChecked(id));
    }
    EXPECT_EQ(h->link.LastBody(), B(0x90, 0x0C, 0, 4));
}

// Per button, after the confirmation: 'P' pressed and enabled, 'R' released and disabled,
// 'E' enabled with its pressed state kept, 'U' untouched.
TEST_F(SwitchPage, InputConfirmationSetsTheRowOfItsInput) {
    const std::vector<int> ids = {IDC_SW_SCALER,   IDC_SW_AUTO_ADJUST, IDC_SW_INT,
                                  IDC_SW_EXT,      IDC_SW_1920X1200,   IDC_SW_1080P,
                                  IDC_SW_1360X768, IDC_SW_720P,        IDC_SW_1024X768,
                                  IDC_SW_YPBPR,    IDC_SW_RGBHV};
    auto rowOf = [](int input) -> std::string {
        if (input <= 2) return "RREERRRRRRR";
        if (input <= 5) return "PREEEEEEERR";
        if (input <= 7) return "PPRREEEEEEU";
        return "PRRREEEEERR";
    };
    for (int input = 1; input <= 8; ++input) {
        for (bool before : {false, true}) {
            SCOPED_TRACE(testing::Message() << "input " << input << " pressed before " << before);
            Restart();
            Show(8);
            for (int id : ids) {
                page->CheckItem(id, before);
                page->EnableItem(id, false);
            }
            Press(IDC_SW_HDMI1 + input - 1);
            h->Reply(B(0x02, 0x03, 0, 1));
            for (int i = 0; i < 8; ++i) {
                EXPECT_EQ(page->IsItemChecked(IDC_SW_HDMI1 + i), i + 1 == input);
            }
            const std::string row = rowOf(input);
            for (std::size_t i = 0; i < ids.size(); ++i) {
                const bool kept = (row[i] == 'E' || row[i] == 'U') && before;
                EXPECT_EQ(page->IsItemChecked(ids[i]), row[i] == 'P' || kept) << i;
                EXPECT_EQ(page->IsItemEnabled(ids[i]), row[i] == 'P' || row[i] == 'E') << i;
            }
        }
    }
}

TEST_F(SwitchPage, VgaFormatIsSentInCommandNumberingAndShownInReportedNumbering) {
    Show(6);
    Press(IDC_SW_YPBPR);
    EXPECT_EQ(h->link.LastBody(), B(0x0A, 0x01, 5, 6));
    h->Reply(B(0x0A, 0x01, 0, 6));
    EXPECT_TRUE(page->IsItemChecked(IDC_SW_YPBPR));
    EXPECT_FALSE(page->IsItemChecked(IDC_SW_RGBHV));
    EXPECT_FALSE(page->IsItemEnabled(IDC_SW_AUTO_ADJUST));
    Press(IDC_SW_RGBHV);
    EXPECT_EQ(h->link.LastBody(), B(0x0A, 0x01, 2, 6));
    h->Reply(B(0x0A, 0x01, 0, 7));  // another input's: ignored
    EXPECT_FALSE(page->IsItemChecked(IDC_SW_RGBHV));
    EXPECT_FALSE(h->main.IsReady());
    h->Reply(B(0x0A, 0x01, 0, 6));
    EXPECT_TRUE(page->IsItemChecked(IDC_SW_RGBHV));
    EXPECT_FALSE(page->IsItemChecked(IDC_SW_YPBPR));
    EXPECT_TRUE(page->IsItemChecked(IDC_SW_AUTO_ADJUST));
    EXPECT_TRUE(h->main.IsReady());
}

}  // namespace
}  // namespace corvane
