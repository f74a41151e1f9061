#include "common/DialogUnits.h"

#include <QFontMetrics>

namespace ocu {

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    // The average over both cases, rounded, as dialog layouts have always measured it.
    m_baseX = (metrics.horizontalAdvance(alphabet) / 26 + 1) / 2;
    m_baseY = metrics.height();
}

int DialogUnits::X(int units) const {
    return (units * m_baseX + 2) / 4;
}

int DialogUnits::Y(int units) const {
    return (units * m_baseY + 4) / 8;
}

QRect DialogUnits::Rect(int x, int y, int width, int height) const {
    return QRect(X(x), Y(y), X(width), Y(height));
}

} // namespace ocu
