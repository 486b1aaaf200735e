#include "framework/DialogTemplate.h"

#include <QFontDatabase>
#include <QFontMetrics>

namespace corvane {
namespace {

// Rounded (a * b) / c, halves away from zero, as the platform's MulDiv.
int MulDiv(int a, int b, int c) {
    const long long p = static_cast<long long>(a) * b;
    const long long q = p >= 0 ? (p + c / 2) / c : (p - c / 2) / c;
    return static_cast<int>(q);
}

}  // namespace

namespace {

bool HasYaHei() {
    static const bool has = [] {
        const QStringList families = QFontDatabase::families();
        return families.contains(QStringLiteral("Microsoft YaHei"), Qt::CaseInsensitive) ||
               families.contains(QStringLiteral("微软雅黑"));
    }();
    return has;
}

}  // namespace

QFont DialogFont() {
    QFont font(HasYaHei() ? QStringLiteral("Microsoft YaHei")
                          : QStringLiteral("WenQuanYi Micro Hei"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(12);
    return font;
}

DialogBaseUnits DialogUnits() {
    if (HasYaHei()) return DialogBaseUnits::ForFont(DialogFont());
    return DialogBaseUnits{7, 16};
}

DialogBaseUnits DialogBaseUnits::ForFont(const QFont& font) {
    const QFontMetrics fm(font);
    const int letters = fm.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    DialogBaseUnits units;
    units.cx = (letters / 26 + 1) / 2;
    units.cy = fm.height();
    return units;
}

int DialogBaseUnits::X(int units) const {
    return MulDiv(units, cx, 4);
}
int DialogBaseUnits::Y(int units) const {
    return MulDiv(units, cy, 8);
}

QRect DialogBaseUnits::ToPixels(int x, int y, int w, int h) const {
    return QRect(X(x), Y(y), X(w), Y(h));
}

}  // namespace corvane
