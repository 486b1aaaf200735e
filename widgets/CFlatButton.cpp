#include "widgets/CFlatButton.h"

#include "framework/Dialog.h"
#include "framework/DialogTemplate.h"

#include <QApplication>
#include <QCheckBox>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>

namespace corvane {
namespace {

// The platform style of the button a template made, as far as attaching needs it.
unsigned TemplateButtonStyle(const QAbstractButton& control) {
    if (qobject_cast<const QRadioButton*>(&control)) return ButtonStyle::kAutoRadioButton;
    if (qobject_cast<const QCheckBox*>(&control)) return ButtonStyle::kAutoCheckBox;
    if (control.isCheckable()) return ButtonStyle::kAutoCheckBox | ButtonStyle::kPushLike;
    const unsigned templateStyle = control.property("templateStyle").toUInt();
    return templateStyle & Style::kDefault ? ButtonStyle::kDefPushButton : ButtonStyle::kPushButton;
}

// One line of colour tl along the top and left, one of br along the right and bottom; the
// bottom-right lines own the two corners they share with the others.
void Paint3dRect(QPainter& p, const QRect& r, const QColor& tl, const QColor& br) {
    p.fillRect(QRect(r.left(), r.top(), r.width() - 1, 1), tl);
    p.fillRect(QRect(r.left(), r.top(), 1, r.height() - 1), tl);
    p.fillRect(QRect(r.right(), r.top(), 1, r.height()), br);
    p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), br);
}

}  // namespace

void TakeDrawRequest(FlatButtonState& state, bool selected, bool focused, bool disabled) {
    state.pressed = selected || (state.checkBox && state.checkState == 1);
    state.focused = focused;
    state.disabled = disabled;
}

FlatButtonLook PlanFlatButton(const FlatButtonState& s, const QRect& item, bool hasText) {
    FlatButtonLook look;
    QRect r = item;
    if (!s.flat && (s.focused || s.isDefault)) {
        look.blackFrame = true;
        r.adjust(1, 1, -1, -1);
    }
    look.frameRect = r;

    if (s.hover || s.pressed)
        look.face = s.Colour(ColourSlot::BackgroundHover);
    else if (s.focused)
        look.face = s.Colour(ColourSlot::BackgroundFocus);
    else
        look.face = s.Colour(ColourSlot::BackgroundNormal);

    if (s.pressed) {
        if (!s.flat)
            look.border = FlatBorder::Shadow;
        else if (s.drawBorder)
            look.border = FlatBorder::FlatSunken;
    } else {
        if (!s.flat)
            look.border = FlatBorder::RaisedEdges;
        else if (s.hover && s.drawBorder)
            look.border = FlatBorder::FlatRaised;
    }

    // The caption starts as the whole button, black frame included.
    QRect caption = item;
    const bool shift = s.pressed && !s.checkBox;
    if (s.hoverIcon.IsSet()) {
        const bool normal = !s.pressed && (s.checkBox || !s.hover) && s.normalIcon.IsSet();
        const IconRecord& icon = normal ? s.normalIcon : s.hoverIcon;
        look.icon = normal ? FlatIcon::Normal : FlatIcon::Hover;
        const int w = icon.size.width();
        const int h = icon.size.height();
        QPoint at;
        if (!hasText) {
            at = QPoint(caption.left() + (caption.width() - w) / 2,
                        caption.top() + (caption.height() - h) / 2);
        } else {
            at = QPoint(caption.left() + 3, caption.top() + (caption.height() - h) / 2);
            caption.setLeft(caption.left() + w + 3);
        }
        if (shift) at += QPoint(1, 1);
        look.iconRect = QRect(at, icon.size);
        look.iconGreyed = s.disabled;
    }

    if (hasText && shift) caption.translate(1, 1);
    look.captionRect = caption;
    look.textEmbossed = s.disabled;
    look.textColour =
        s.hover || s.pressed ? s.Colour(ColourSlot::TextHover) : s.Colour(ColourSlot::TextNormal);

    if (s.focused && (!s.flat || s.flatFocus)) {
        look.focusRect = true;
        look.focusRectangle = r.adjusted(3, 3, -3, -3);
    }
    return look;
}

QRect CentreText(const QRect& caption, const QSize& measured) {
    return QRect(caption.left() + (caption.width() - measured.width()) / 2,
                 caption.top() + (caption.height() - measured.height()) / 2, measured.width(),
                 measured.height());
}

CFlatButton::CFlatButton(QWidget* parent) : QAbstractButton(parent) {
    // Moves must arrive without a button held, or hover could never be entered.
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    const QPalette& pal = palette();
    for (ColourSlot slot :
         {ColourSlot::BackgroundHover, ColourSlot::BackgroundNormal, ColourSlot::BackgroundFocus}) {
        state_.colours[static_cast<std::size_t>(slot)] = pal.color(QPalette::Button);
    }
    for (ColourSlot slot : {ColourSlot::TextHover, ColourSlot::TextNormal, ColourSlot::TextFocus}) {
        state_.colours[static_cast<std::size_t>(slot)] = pal.color(QPalette::ButtonText);
    }
    // Connected first, so the button has toggled and taken the focus before the dialog hears
    // of the click.
    connect(this, &QAbstractButton::clicked, this, &CFlatButton::OnClicked);
    WatchWindow();
}

CFlatButton::~CFlatButton() = default;

bool CFlatButton::Attach(CDialog& dialog, int id) {
    auto* control = qobject_cast<QAbstractButton*>(dialog.Item(id));
    if (!control || control == this) return false;
    const unsigned style = TemplateButtonStyle(*control);
    const QString caption = control->text();

    state_.buttonType = style & ButtonStyle::kTypeMask;
    if (style & ButtonStyle::kCheckBoxBit) state_.checkBox = true;
    if (state_.buttonType == ButtonStyle::kDefPushButton) {
        state_.isDefault = true;
        state_.buttonType = ButtonStyle::kPushButton;
    }
    style_ = (style & ~ButtonStyle::kTypeMask) | ButtonStyle::kOwnerDraw;

    if (!dialog.ReplaceItem(id, this)) return false;
    setCheckable(state_.checkBox);
    setText(caption);
    WatchWindow();
    update();
    return true;
}

void CFlatButton::SetDrawBorder(bool on) {
    state_.drawBorder = on;
    update();
}

void CFlatButton::SetFlat(bool on) {
    state_.flat = on;
    // Hover is kept in flat mode only; left on, it would colour a raised button for good.
    if (!on) state_.hover = false;
    update();
}

void CFlatButton::SetFlatFocus(bool on) {
    state_.flatFocus = on;
    update();
}

void CFlatButton::SetIcons(IconRecord hover, IconRecord normal) {
    // The records own their images; the old ones go as they are overwritten.
    state_.hoverIcon = std::move(hover);
    state_.normalIcon = std::move(normal);
    update();
}

void CFlatButton::SetTooltipText(const QString& text) {
    if (text.isNull()) return;
    setToolTip(text);
}

void CFlatButton::SetColour(ColourSlot slot, const QColor& colour) {
    state_.colours[static_cast<std::size_t>(slot)] = colour;
    update();
}

int CFlatButton::GetDlgCode() const {
    return kDlgcButton | (state_.isDefault ? kDlgcDefPushButton : kDlgcUndefPushButton);
}

void CFlatButton::SetButtonStyle(unsigned style, bool redraw) {
    const unsigned type = style & ButtonStyle::kTypeMask;
    if (type == ButtonStyle::kDefPushButton)
        state_.isDefault = true;
    else if (type == ButtonStyle::kPushButton)
        state_.isDefault = false;
    // Whatever type is asked for, the button stays owner-drawn.
    style_ = (style & ~0x14u) | ButtonStyle::kOwnerDraw;
    if (redraw) update();
}

int CFlatButton::SetCheck(int state) {
    if (state_.checkBox) {
        setChecked(state == 1 || state == 2);
        state_.checkState = isChecked() ? 1 : 0;
        update();
    }
    return 0;
}

FlatButtonLook CFlatButton::CurrentLook() const {
    FlatButtonState s = state_;
    TakeDrawRequest(s, isDown(), hasFocus(), !isEnabled());
    return PlanFlatButton(s, rect(), !text().isEmpty());
}

void CFlatButton::PaintFace(QPainter& painter, const QRect& rect, const QColor& colour) {
    painter.fillRect(rect, colour);
}

void CFlatButton::PaintFrame(QPainter& painter, const QRect& rect, bool pressed) {
    const QColor light = palette().color(QPalette::Light);
    const QColor shadow = palette().color(QPalette::Dark);
    if (pressed)
        Paint3dRect(painter, rect, shadow, light);
    else
        Paint3dRect(painter, rect, light, shadow);
}

void CFlatButton::paintEvent(QPaintEvent*) {
    TakeDrawRequest(state_, isDown(), hasFocus(), !isEnabled());
    const FlatButtonLook look = PlanFlatButton(state_, rect(), !text().isEmpty());
    const QPalette& pal = palette();
    QPainter p(this);

    if (look.blackFrame) {
        p.setPen(Qt::black);
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    PaintFace(p, look.frameRect, look.face);
    const QRect& r = look.frameRect;
    switch (look.border) {
        case FlatBorder::None:
            break;
        case FlatBorder::Shadow:
            p.setPen(pal.color(QPalette::Dark));
            p.setBrush(Qt::NoBrush);
            p.drawRect(r.adjusted(0, 0, -1, -1));
            break;
        case FlatBorder::RaisedEdges:
            Paint3dRect(p, r, pal.color(QPalette::Light), pal.color(QPalette::Shadow));
            Paint3dRect(p, r.adjusted(1, 1, -1, -1), pal.color(QPalette::Midlight),
                        pal.color(QPalette::Dark));
            break;
        case FlatBorder::FlatRaised:
            PaintFrame(p, r, false);
            break;
        case FlatBorder::FlatSunken:
            PaintFrame(p, r, true);
            break;
    }

    if (look.icon != FlatIcon::None) {
        const IconRecord& icon =
            look.icon == FlatIcon::Normal ? state_.normalIcon : state_.hoverIcon;
        icon.icon.paint(&p, look.iconRect, Qt::AlignCenter,
                        look.iconGreyed ? QIcon::Disabled : QIcon::Normal);
    }

    if (!text().isEmpty()) {
        const int flags = Qt::TextWordWrap | Qt::AlignHCenter;
        const QRect measured = p.fontMetrics().boundingRect(look.captionRect, flags, text());
        const QRect at = CentreText(look.captionRect, measured.size());
        if (look.textEmbossed) {
            p.setPen(pal.color(QPalette::Light));
            p.drawText(at.translated(1, 1), flags, text());
            p.setPen(pal.color(QPalette::Dark));
        } else {
            p.setPen(look.textColour);
        }
        p.drawText(at, flags, text());
    }

    if (look.focusRect) {
        QPen pen(pal.color(QPalette::ButtonText));
        pen.setStyle(Qt::DotLine);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawRect(look.focusRectangle.adjusted(0, 0, -1, -1));
    }
}

void CFlatButton::TrackHover(const QPointF& pos, bool leftDown) {
    if ((leftDown && !state_.hover) || !state_.flat) return;
    const bool over = pos.x() >= 0 && pos.y() >= 0 && pos.x() < width() && pos.y() < height();
    if (over && (state_.alwaysTrack || QApplication::activeWindow())) {
        if (state_.hover) return;
        // Qt sends the leave event unasked.
        state_.hover = true;
        update();
        return;
    }
    DropHover();
}

void CFlatButton::DropHover() {
    if (state_.flat && state_.hover) {
        state_.hover = false;
        update();
    }
}

void CFlatButton::enterEvent(QEnterEvent* event) {
    QAbstractButton::enterEvent(event);
    TrackHover(event->position(), QGuiApplication::mouseButtons() & Qt::LeftButton);
}

void CFlatButton::leaveEvent(QEvent* event) {
    QAbstractButton::leaveEvent(event);
    DropHover();
}

void CFlatButton::mouseMoveEvent(QMouseEvent* event) {
    QAbstractButton::mouseMoveEvent(event);
    TrackHover(event->position(), event->buttons() & Qt::LeftButton);
}

void CFlatButton::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second click of a double click is one more press.
    if (event->button() == Qt::LeftButton)
        mousePressEvent(event);
    else
        QAbstractButton::mouseDoubleClickEvent(event);
}

void CFlatButton::focusOutEvent(QFocusEvent* event) {
    QAbstractButton::focusOutEvent(event);
    DropHover();
}

void CFlatButton::changeEvent(QEvent* event) {
    QAbstractButton::changeEvent(event);
    // Qt has already passed the focus on to the next tab item if this button held it.
    if (event->type() == QEvent::EnabledChange && !isEnabled()) DropHover();
}

bool CFlatButton::event(QEvent* event) {
    if (event->type() == QEvent::ParentChange) WatchWindow();
    // Qt passes the window's deactivation on to each of its widgets.
    if (event->type() == QEvent::WindowDeactivate) DropHover();
    return QAbstractButton::event(event);
}

bool CFlatButton::eventFilter(QObject* watched, QEvent* event) {
    if (watched == watchedWindow_ && event->type() == QEvent::WindowBlocked) DropHover();
    return QAbstractButton::eventFilter(watched, event);
}

void CFlatButton::nextCheckState() {
    QAbstractButton::nextCheckState();
    state_.checkState = isChecked() ? 1 : 0;
}

void CFlatButton::checkStateSet() {
    QAbstractButton::checkStateSet();
    state_.checkState = isChecked() ? 1 : 0;
    update();
}

void CFlatButton::OnClicked() {
    setFocus(Qt::MouseFocusReason);
    if (state_.checkBox) update();
}

void CFlatButton::WatchWindow() {
    // A modal pop-up opening over the window cancels the button's mode, as on the platform.
    QWidget* w = window();
    if (w == watchedWindow_) return;
    if (watchedWindow_) watchedWindow_->removeEventFilter(this);
    watchedWindow_ = w;
    if (w != this) w->installEventFilter(this);
}

}  // namespace corvane
