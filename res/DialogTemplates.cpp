#include "res/DialogTemplates.h"

#include <QFontMetrics>
#include <QStringList>

namespace {

int MulDivRound(int value, int mul, int div) {
    const long long product = static_cast<long long>(value) * mul;
    const long long half = div / 2;
    return static_cast<int>(product >= 0 ? (product + half) / div : (product - half) / div);
}

}  // namespace

QFont DialogFont() {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setFamilies(QStringList() << QStringLiteral("Liberation Sans") << QStringLiteral("Arial")
                                   << QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(9);
    return font;
}

DialogBaseUnits DialogBaseUnitsOf(const QFont& font) {
    const QFontMetrics fm(font);
    const int letters = fm.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(letters / 26 + 1) / 2, fm.height()};
}

QRect DluToPixels(const QRect& dlu, DialogBaseUnits units) {
    return {MulDivRound(dlu.x(), units.cx, 4), MulDivRound(dlu.y(), units.cy, 8),
            MulDivRound(dlu.width(), units.cx, 4), MulDivRound(dlu.height(), units.cy, 8)};
}

QSize DluToPixels(const QSize& dlu, DialogBaseUnits units) {
    return {MulDivRound(dlu.width(), units.cx, 4), MulDivRound(dlu.height(), units.cy, 8)};
}
