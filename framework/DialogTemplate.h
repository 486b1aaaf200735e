#pragma once
// Dialog templates: a dialog is a table of controls laid out in dialog units, which turn into
// pixels through the dialog font's base units, as on the platform the program came from.

#include <QFont>
#include <QRect>
#include <QString>
#include <QStringList>

#include <vector>

namespace corvane {

enum class ControlKind {
    PushButton,
    CheckBox,       // auto check box
    PushLikeCheck,  // auto check box drawn as a push button (the Switch page's toggles)
    Radio,          // auto radio button
    GroupBox,
    Text,         // static text, left aligned
    TextCentred,  // static text, centred
    Icon,         // static showing an icon resource
    Picture,      // static showing a bitmap resource
    DropList,     // drop-down list combo box
    Edit,         // single-line edit
    MultiEdit,    // multi-line edit
    Progress,     // progress bar
};

// Style bits of a control (a subset of what templates carry, in our own numbering).
namespace Style {
constexpr unsigned kNone = 0;
constexpr unsigned kHidden = 1u << 0;
constexpr unsigned kDisabled = 1u << 1;
constexpr unsigned kReadOnly = 1u << 2;
constexpr unsigned kDigitsOnly = 1u << 3;
constexpr unsigned kSorted = 1u << 4;
constexpr unsigned kBorder = 1u << 5;
constexpr unsigned kVScroll = 1u << 6;
constexpr unsigned kMultiLineText = 1u << 7;  // button caption may wrap
constexpr unsigned kDefault = 1u << 8;        // default push button
}  // namespace Style

struct ControlSpec {
    int id;  // 0 for controls the code never addresses
    ControlKind kind;
    QString text;
    int x, y, w, h;  // dialog units
    unsigned style = Style::kNone;
    QStringList items = {};  // initial items of a list
    int resource = 0;        // icon or bitmap id for Icon and Picture
    // What assistive technology calls a control whose own text does not say what it is. A
    // static of the same window with this text becomes the control's label.
    QString name = {};
};

struct DialogTemplate {
    int id;
    int width, height;  // dialog units
    std::vector<ControlSpec> controls;
    QString title = {};
};

// Horizontal base = average width of the Latin letters, vertical base = font height, in pixels.
struct DialogBaseUnits {
    int cx = 4;
    int cy = 8;

    static DialogBaseUnits ForFont(const QFont& font);
    int X(int units) const;  // horizontal units to pixels, rounded to nearest
    int Y(int units) const;  // vertical units to pixels
    QRect ToPixels(int x, int y, int w, int h) const;
};

// The dialog font: Microsoft YaHei 9 pt; where it is missing, WenQuanYi Micro Hei. Sized in
// pixels (9 pt at 96 dpi) so layouts do not depend on the screen's dpi.
QFont DialogFont();

// The base units templates are laid out with. With Microsoft YaHei they are measured. The
// stand-in matches its widths (7) but is shorter (1.17 em against 1.32 em), and the windows'
// own drawing (bands, frames, text boxes) is placed in pixels against YaHei's 7 x 16; so
// with the stand-in the layout keeps YaHei's units and the text sits in the same boxes.
DialogBaseUnits DialogUnits();

}  // namespace corvane
