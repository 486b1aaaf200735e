// The drawing decisions of CFlatButton, without painting.
#include "widgets/CFlatButton.h"

#include <gtest/gtest.h>
#include <QPixmap>

namespace corvane {
namespace {

const QColor kHoverFace(1, 1, 1);
const QColor kNormalFace(2, 2, 2);
const QColor kFocusFace(3, 3, 3);
const QRect kButton(0, 0, 25, 25);

IconRecord Icon(QSize size) {
    QPixmap pixmap(size);
    pixmap.fill(Qt::white);
    return {QIcon(pixmap), size};
}

// Colours that can be told apart, and both icons set.
FlatButtonState Distinct() {
    FlatButtonState s;
    s.colours = {kHoverFace, QColor(4, 4, 4), kNormalFace, QColor(5, 5, 5), kFocusFace, QColor()};
    s.hoverIcon = Icon({16, 16});
    s.normalIcon = Icon({16, 16});
    return s;
}

TEST(FlatButtonLook, FlatWithoutBorderChangesOnlyFaceAndIconInEveryState) {
    for (int bits = 0; bits < 32; ++bits) {
        SCOPED_TRACE(bits);
        FlatButtonState s = Distinct();
        s.drawBorder = false;
        s.hover = bits & 1;
        s.pressed = bits & 2;
        s.focused = bits & 4;
        s.disabled = bits & 8;
        s.checkBox = bits & 16;
        const FlatButtonLook look = PlanFlatButton(s, kButton, false);
        EXPECT_EQ(look.border, FlatBorder::None);
        EXPECT_FALSE(look.blackFrame);
        EXPECT_FALSE(look.focusRect);
        EXPECT_EQ(look.face, s.hover || s.pressed ? kHoverFace
                             : s.focused          ? kFocusFace
                                                  : kNormalFace);
    }
}

TEST(FlatButtonLook, IconChoiceForHoverPressCheckBoxAndMissingNormalIcon) {
    using I = FlatIcon;
    struct Case {
        bool hover, pressed, checkBox, normalIcon;
        FlatIcon expected;
    };
    const Case cases[] = {
        {false, false, false, true, I::Normal}, {true, false, false, true, I::Hover},
        {false, true, false, true, I::Hover},   {true, true, false, true, I::Hover},
        {false, false, true, true, I::Normal},  {true, false, true, true, I::Normal},
        {false, true, true, true, I::Hover},    {true, true, true, true, I::Hover},
        {false, false, false, false, I::Hover}, {true, false, true, false, I::Hover},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.hover << c.pressed << c.checkBox << c.normalIcon);
        FlatButtonState s = Distinct();
        s.hover = c.hover;
        s.pressed = c.pressed;
        s.checkBox = c.checkBox;
        if (!c.normalIcon) s.normalIcon = {};
        EXPECT_EQ(PlanFlatButton(s, kButton, false).icon, c.expected);
    }
    FlatButtonState none = Distinct();
    none.hoverIcon = {};
    EXPECT_EQ(PlanFlatButton(none, kButton, false).icon, I::None);
}

TEST(FlatButtonLook, IconPlacementAndPressShift) {
    FlatButtonState s = Distinct();
    EXPECT_EQ(PlanFlatButton(s, QRect(10, 20, 26, 25), false).iconRect, QRect(15, 24, 16, 16));
    s.pressed = true;
    EXPECT_EQ(PlanFlatButton(s, kButton, false).iconRect, QRect(5, 5, 16, 16));
    s.checkBox = true;
    EXPECT_EQ(PlanFlatButton(s, kButton, false).iconRect, QRect(4, 4, 16, 16));
    // With text: 3 pixels from the left, and the caption starts after it.
    const FlatButtonLook look = PlanFlatButton(Distinct(), QRect(0, 0, 80, 24), true);
    EXPECT_EQ(look.iconRect, QRect(3, 4, 16, 16));
    EXPECT_EQ(look.captionRect, QRect(19, 0, 61, 24));
}

TEST(FlatButtonLook, RaisedButtonFramesAndFocusRectangle) {
    FlatButtonState s = Distinct();
    s.flat = false;
    s.focused = true;
    const FlatButtonLook look = PlanFlatButton(s, kButton, false);
    EXPECT_TRUE(look.blackFrame) << "focused";
    EXPECT_EQ(look.frameRect, QRect(1, 1, 23, 23));
    EXPECT_EQ(look.border, FlatBorder::RaisedEdges);
    EXPECT_EQ(look.focusRectangle, QRect(4, 4, 17, 17));
    s.flat = true;
    EXPECT_FALSE(PlanFlatButton(s, kButton, false).focusRect) << "flat: only when asked for";
    s.flatFocus = true;
    EXPECT_EQ(PlanFlatButton(s, kButton, false).focusRectangle, QRect(3, 3, 19, 19));
}

}  // namespace
}  // namespace corvane
