#pragma once
// CFlatButton: the self-drawn push button of the caption bands. It paints its face in per-state
// colours, shows a hover icon while the mouse is over it (flat mode), carries a tooltip and can
// act as a check box.
//
// The window messages the button answers on its original platform, and where they arrive here:
//
//   mouse move            mouseMoveEvent; enterEvent counts as a move (the platform sends one
//                         when the cursor comes in)
//   mouse leave           leaveEvent
//   kill focus            focusOutEvent
//   activate (inactive)   WindowDeactivate, which Qt hands to every widget of the window
//   cancel mode           WindowBlocked on the button's window (a modal pop-up opened over it)
//   enable (disabled)     changeEvent(EnabledChange)
//   get dialog code       GetDlgCode(), asked directly
//   set style             SetButtonStyle()
//   get / set check       GetCheck() / SetCheck(); CDialog::CheckItem and IsItemChecked work too
//   reflected click       OnClicked, connected to clicked() before the dialog's own connection
//   left double click     mouseDoubleClickEvent, handled as a press
//   draw item             paintEvent, carrying out PlanFlatButton()
//   control colour        nothing to do: paintEvent fills the whole face
//   tooltip relay         Qt shows tooltips itself

#include <QAbstractButton>
#include <QColor>
#include <QIcon>
#include <QPointer>
#include <QRect>
#include <QSize>

#include <array>

namespace corvane {

class CDialog;

// Button style bits as the platform numbers them; only the type bits (low 5) matter here.
namespace ButtonStyle {
constexpr unsigned kTypeMask = 0x1F;
constexpr unsigned kPushButton = 0x00;
constexpr unsigned kDefPushButton = 0x01;
constexpr unsigned kCheckBoxBit = 0x02;  // set in every check box type
constexpr unsigned kAutoCheckBox = 0x03;
constexpr unsigned kAutoRadioButton = 0x09;
constexpr unsigned kOwnerDraw = 0x0B;
constexpr unsigned kPushLike = 0x1000;
}  // namespace ButtonStyle

// Dialog codes a button reports.
constexpr int kDlgcDefPushButton = 0x0010;
constexpr int kDlgcUndefPushButton = 0x0020;
constexpr int kDlgcButton = 0x2000;

// The colour slots, in the order the button keeps them.
enum class ColourSlot {
    BackgroundHover,
    TextHover,
    BackgroundNormal,
    TextNormal,
    BackgroundFocus,
    TextFocus
};

struct IconRecord {
    QIcon icon;
    QSize size;
    bool IsSet() const { return !icon.isNull(); }
};

// The state of one button. pressed, focused and disabled are copied from each draw request.
struct FlatButtonState {
    bool flat = true;
    bool hover = false;
    bool pressed = false;
    bool focused = false;
    bool disabled = false;
    bool isDefault = false;
    bool checkBox = false;
    int imageAlignment = 0;  // image left of the text, the only alignment in use
    bool drawBorder = true;
    bool flatFocus = false;
    std::array<QColor, 6> colours;  // by ColourSlot
    bool alwaysTrack = true;
    int checkState = 0;
    unsigned buttonType = 31;
    IconRecord hoverIcon;
    IconRecord normalIcon;

    QColor Colour(ColourSlot slot) const { return colours[static_cast<std::size_t>(slot)]; }
};

// Copies a draw request into the state: a checked check box draws as pressed.
void TakeDrawRequest(FlatButtonState& state, bool selected, bool focused, bool disabled);

enum class FlatBorder {
    None,
    Shadow,       // pressed, not flat: one line in the button-shadow colour
    RaisedEdges,  // not pressed, not flat: two-line raised 3-D edge
    FlatRaised,   // flat border while hovering: highlight top-left, shadow bottom-right
    FlatSunken,   // flat border while pressed: shadow top-left, highlight bottom-right
};

enum class FlatIcon { None, Normal, Hover };

// What one paint of the button draws.
struct FlatButtonLook {
    bool blackFrame = false;  // 1-pixel black frame round the whole button
    QRect frameRect;          // the button less the black frame; face, border and focus go here
    QColor face;
    FlatBorder border = FlatBorder::None;
    FlatIcon icon = FlatIcon::None;
    QRect iconRect;
    bool iconGreyed = false;
    QRect captionRect;  // where the text is centred
    QColor textColour;
    bool textEmbossed = false;  // disabled text: highlight shifted by one, then shadow in place
    bool focusRect = false;
    QRect focusRectangle;
};

// The drawing decisions for a state, a button rectangle and whether there is caption text.
FlatButtonLook PlanFlatButton(const FlatButtonState& state, const QRect& item, bool hasText);

// Where text of the measured size sits when centred in a caption rectangle (integer halves).
QRect CentreText(const QRect& caption, const QSize& measured);

class CFlatButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit CFlatButton(QWidget* parent = nullptr);
    ~CFlatButton() override;

    // Takes the place of the template button id of dialog: reads its style (a check box style
    // makes a check box, a default push button sets default) and its text, and files itself
    // under the id, so Item(id) and OnCommand(id) reach this button. False if there is no
    // button with that id.
    bool Attach(CDialog& dialog, int id);

    void SetDrawBorder(bool on);
    void SetFlat(bool on);
    void SetFlatFocus(bool on);
    void SetAlwaysTrack(bool on) { state_.alwaysTrack = on; }
    // The normal icon may be left unset: the hover icon is then shown in every state.
    void SetIcons(IconRecord hover, IconRecord normal = {});
    // A null text changes nothing.
    void SetTooltipText(const QString& text);
    void SetColour(ColourSlot slot, const QColor& colour);

    int GetDlgCode() const;
    void SetButtonStyle(unsigned style, bool redraw = true);
    unsigned Style() const { return style_; }
    int GetCheck() const { return state_.checkState; }
    int SetCheck(int state);

    const FlatButtonState& State() const { return state_; }
    // What the next paint would draw.
    FlatButtonLook CurrentLook() const;

protected:
    virtual void PaintFace(QPainter& painter, const QRect& rect, const QColor& colour);
    virtual void PaintFrame(QPainter& painter, const QRect& rect, bool pressed);

    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void nextCheckState() override;
    void checkStateSet() override;

private:
    void TrackHover(const QPointF& pos, bool leftDown);
    void DropHover();
    void OnClicked();
    void WatchWindow();

    FlatButtonState state_;
    unsigned style_ = ButtonStyle::kOwnerDraw;
    QPointer<QWidget> watchedWindow_;
};

}  // namespace corvane
