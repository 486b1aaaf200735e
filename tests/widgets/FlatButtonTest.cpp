// CFlatButton as a real widget: attached to a dialog's button, clicked, hovered and painted; and
// the caption buttons of the main window and the message pop-up.
#include "resources/resource.h"
#include "tests/support/Harness.h"
#include "widgets/CFlatButton.h"
#include "widgets/CMessageDlg.h"
#include "widgets/CaptionButton.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>

#include <vector>

namespace corvane {
namespace {

constexpr int kPlain = 10, kDefault = 11, kCheck = 12;
const QColor kBand(30, 144, 225);

DialogTemplate TestTemplate() {
    using K = ControlKind;
    return {900,
            120,
            60,
            {{kPlain, K::PushButton, "", 5, 5, 21, 18},
             {kDefault, K::PushButton, "Go", 30, 5, 40, 14, Style::kDefault},
             {kCheck, K::CheckBox, "Check", 5, 30, 50, 10}}};
}

class TestDialog : public CDialog {
public:
    explicit TestDialog(Clock& clock) : CDialog(TestTemplate(), clock) {}
    std::vector<int> commands;
    std::vector<int> checksSeen;  // the check state each click found

protected:
    void OnCommand(int id, Notify) override {
        commands.push_back(id);
        if (auto* b = ItemAs<CFlatButton>(id)) checksSeen.push_back(b->GetCheck());
    }
};

void Mouse(QWidget* w, QEvent::Type type, QPointF at, Qt::MouseButtons held,
           Qt::MouseButton button = Qt::NoButton) {
    QMouseEvent e(type, at, w->mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}
void Move(QWidget* w, QPointF at, Qt::MouseButtons held = Qt::NoButton) {
    Mouse(w, QEvent::MouseMove, at, held);
}
void Press(QWidget* w, QPointF at, QEvent::Type type = QEvent::MouseButtonPress) {
    Mouse(w, type, at, Qt::LeftButton, Qt::LeftButton);
}
void Release(QWidget* w, QPointF at) {
    Mouse(w, QEvent::MouseButtonRelease, at, Qt::NoButton, Qt::LeftButton);
}
void Send(QWidget* w, QEvent::Type type) {
    QEvent e(type);
    QApplication::sendEvent(w, &e);
}
IconRecord Solid(QColor colour) {
    QPixmap pixmap(16, 16);
    pixmap.fill(colour);
    return {QIcon(pixmap), QSize(16, 16)};
}
QColor PixelAt(QWidget* w, int x, int y) {
    return w->grab().toImage().pixelColor(x, y);
}

class FlatButtonTest : public testing::Test {
protected:
    CFlatButton* AttachTo(int id) {
        auto* b = new CFlatButton(&dialog);
        EXPECT_TRUE(b->Attach(dialog, id));
        return b;
    }
    ManualClock clock;
    TestDialog dialog{clock};
    const QPointF inside{10, 10};
};

TEST_F(FlatButtonTest, AttachTakesTheControlsPlaceClicksAndKeyFilter) {
    QPointer<QWidget> old = dialog.Item(kDefault);
    const QRect geometry = old->geometry();
    CFlatButton* b = AttachTo(kDefault);
    EXPECT_EQ(dialog.Item(kDefault), b);
    EXPECT_TRUE(old.isNull());
    EXPECT_EQ(b->geometry(), geometry);
    EXPECT_EQ(b->text(), QStringLiteral("Go"));
    b->click();
    EXPECT_EQ(dialog.commands, std::vector<int>{kDefault}) << "one command, from the new button";

    dialog.SetFilterKeys(true);
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    QApplication::sendEvent(b, &space);
    EXPECT_FALSE(b->isDown()) << "the key filter swallows Space on the new button too";

    CFlatButton spare(&dialog);
    EXPECT_FALSE(spare.Attach(dialog, 4242));
}

TEST_F(FlatButtonTest, DefaultPushButtonGivesDefaultCodeAndBlackFrameWhenNotFlat) {
    CFlatButton* def = AttachTo(kDefault);
    CFlatButton* plain = AttachTo(kPlain);
    EXPECT_EQ(def->GetDlgCode(), kDlgcButton | kDlgcDefPushButton);
    EXPECT_EQ(plain->GetDlgCode(), kDlgcButton | kDlgcUndefPushButton);
    EXPECT_FALSE(def->CurrentLook().blackFrame) << "flat from the start";
    def->SetFlat(false);
    plain->SetFlat(false);
    EXPECT_EQ(PixelAt(def, 0, 0), QColor(Qt::black));
    EXPECT_NE(PixelAt(plain, 0, 0), QColor(Qt::black));

    // Type 1 makes it the default, type 0 takes that back, other types leave it.
    plain->SetButtonStyle(ButtonStyle::kDefPushButton);
    plain->SetButtonStyle(ButtonStyle::kAutoCheckBox);
    EXPECT_EQ(plain->GetDlgCode(), kDlgcButton | kDlgcDefPushButton);
    EXPECT_EQ(plain->Style() & ButtonStyle::kTypeMask, ButtonStyle::kOwnerDraw);
    plain->SetButtonStyle(ButtonStyle::kPushButton);
    EXPECT_EQ(plain->GetDlgCode(), kDlgcButton | kDlgcUndefPushButton);
}

TEST_F(FlatButtonTest, CheckBoxTogglesBeforeTheDialogHearsOfTheClick) {
    CFlatButton* b = AttachTo(kCheck);
    b->click();
    EXPECT_EQ(b->GetCheck(), 1);
    EXPECT_EQ(b->CurrentLook().border, FlatBorder::FlatSunken) << "checked draws pressed";
    b->click();
    EXPECT_EQ(b->GetCheck(), 0);
    EXPECT_EQ(dialog.checksSeen, (std::vector<int>{1, 0}));

    EXPECT_EQ(b->SetCheck(2), 0);
    EXPECT_EQ(b->GetCheck(), 1);
    EXPECT_TRUE(dialog.IsItemChecked(kCheck));
    b->SetCheck(7);
    EXPECT_EQ(b->GetCheck(), 0);
    dialog.CheckItem(kCheck, true);
    EXPECT_EQ(b->GetCheck(), 1);
}

TEST_F(FlatButtonTest, DoubleClickActsAsTwoPresses) {
    CFlatButton* b = AttachTo(kPlain);
    Press(b, inside);
    Release(b, inside);
    Press(b, inside, QEvent::MouseButtonDblClick);
    Release(b, inside);
    EXPECT_EQ(dialog.commands, (std::vector<int>{kPlain, kPlain}));
}

TEST_F(FlatButtonTest, MovingInWithTheButtonHeldDoesNotEnterHover) {
    CFlatButton* b = AttachTo(kPlain);
    Move(b, inside, Qt::LeftButton);
    EXPECT_FALSE(b->State().hover);
    Move(b, inside);
    EXPECT_TRUE(b->State().hover);

    // Pressed on the button and dragged out: hover ends and stays off while the button is held.
    Press(b, inside);
    Move(b, {-5, 10}, Qt::LeftButton);
    EXPECT_FALSE(b->State().hover);
    Move(b, inside, Qt::LeftButton);
    EXPECT_FALSE(b->State().hover);
    Release(b, inside);
    Move(b, inside);
    EXPECT_TRUE(b->State().hover);

    b->SetFlat(false);
    Move(b, inside);
    EXPECT_FALSE(b->State().hover) << "only a flat button hovers";
}

TEST_F(FlatButtonTest, HoverEndsOnLeaveFocusLossDisableBlockingAndDeactivation) {
    CFlatButton* b = AttachTo(kPlain);
    dialog.show();
    dialog.activateWindow();
    QApplication::processEvents();
    auto hover = [&] {
        Move(b, inside);
        ASSERT_TRUE(b->State().hover);
    };
    hover();
    Send(b, QEvent::Leave);
    EXPECT_FALSE(b->State().hover) << "leave";
    hover();
    Send(b, QEvent::FocusOut);
    EXPECT_FALSE(b->State().hover) << "focus out";
    hover();
    b->setEnabled(false);
    EXPECT_FALSE(b->State().hover) << "disabled";
    b->setEnabled(true);
    hover();
    Send(&dialog, QEvent::WindowBlocked);
    EXPECT_FALSE(b->State().hover) << "a modal window over the dialog";

    if (!dialog.isActiveWindow()) GTEST_SKIP() << "no window activation on this platform";
    b->clearFocus();  // so that only the deactivation can end the hover
    hover();
    QWidget other;
    other.show();
    other.activateWindow();
    QApplication::processEvents();
    ASSERT_FALSE(dialog.isActiveWindow());
    EXPECT_FALSE(b->State().hover) << "dialog deactivated";
}

TEST_F(FlatButtonTest, BorderlessPaintChangesOnlyFaceAndIcon) {
    CFlatButton* b = AttachTo(kPlain);
    b->setGeometry(0, 0, 25, 25);
    b->SetDrawBorder(false);
    b->SetIcons(Solid(Qt::red), Solid(Qt::green));
    for (auto slot :
         {ColourSlot::BackgroundNormal, ColourSlot::BackgroundFocus, ColourSlot::BackgroundHover})
        b->SetColour(slot, kBand);
    auto expectNoBorder = [&](const char* state) {
        const QImage image = b->grab().toImage();
        for (int k = 0; k < 25; ++k) {
            for (QPoint at : {QPoint(k, 0), QPoint(k, 24), QPoint(0, k), QPoint(24, k)})
                ASSERT_EQ(image.pixelColor(at), kBand) << state << " " << at.x() << "," << at.y();
        }
    };
    expectNoBorder("normal");
    EXPECT_EQ(PixelAt(b, 12, 12), QColor(Qt::green));
    Move(b, inside);
    expectNoBorder("hover");
    EXPECT_EQ(PixelAt(b, 12, 12), QColor(Qt::red));
}

QImage IconImage(const IconRecord& record) {
    return record.icon.pixmap(record.size).toImage();
}

void ExpectCaptionButton(QWidget* widget, int hoverIcon, int normalIcon, const QString& tooltip) {
    auto* b = qobject_cast<CFlatButton*>(widget);
    ASSERT_NE(b, nullptr) << "the template's button was not replaced";
    const FlatButtonState& s = b->State();
    EXPECT_TRUE(s.flat);
    EXPECT_FALSE(s.drawBorder);
    for (auto slot :
         {ColourSlot::BackgroundNormal, ColourSlot::BackgroundFocus, ColourSlot::BackgroundHover})
        EXPECT_EQ(s.Colour(slot), kBand);
    EXPECT_EQ(s.Colour(ColourSlot::TextNormal), b->palette().color(QPalette::ButtonText));
    EXPECT_EQ(b->toolTip(), tooltip);
    ASSERT_TRUE(s.hoverIcon.IsSet() && s.normalIcon.IsSet());
    EXPECT_EQ(IconImage(s.hoverIcon), IconImage(ResourceIcon(hoverIcon, kCaptionIconSize)));
    EXPECT_EQ(IconImage(s.normalIcon), IconImage(ResourceIcon(normalIcon, kCaptionIconSize)));
    EXPECT_NE(IconImage(s.hoverIcon), IconImage(s.normalIcon));
}

TEST(FlatButtonCaption, MainWindowAndMessagePopUp) {
    test::Harness h;
    ExpectCaptionButton(h.main.Item(IDC_CLOSE), IDI_CLOSE_HOVER, IDI_CLOSE,
                        QStringLiteral("Close"));
    ExpectCaptionButton(h.main.Item(IDC_MINIMIZE), IDI_MINIMIZE_HOVER, IDI_MINIMIZE,
                        QStringLiteral("Minimize"));
    EXPECT_EQ(h.main.Item(IDC_CLOSE)->geometry(), QRect(h.main.width() - 26, 1, 25, 25));
    int quits = 0;
    h.main.SetQuitHandler([&] { ++quits; });
    test::Harness::Click(&h.main, IDC_CLOSE);
    h.Settle();
    EXPECT_EQ(quits, 1);

    int result = -1;
    h.program.popUps.ShowMessage(QStringLiteral("Time out!"), [&](int r) { result = r; });
    CMessageDlg* message = h.program.popUps.MessageWindow();
    ASSERT_NE(message, nullptr);
    ExpectCaptionButton(message->Item(IDC_MSG_CLOSE), IDI_CLOSE_HOVER, IDI_CLOSE,
                        QStringLiteral("Close"));
    test::Harness::Click(message, IDC_MSG_CLOSE);
    h.Settle();
    EXPECT_EQ(result, kResultCancel);
}

}  // namespace
}  // namespace corvane
