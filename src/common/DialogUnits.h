// Dialog layouts are given in dialog units: a quarter of the font's average character width across,
// an eighth of its line height down. This turns them into pixels of the dialog's font.
#pragma once

#include <QFont>
#include <QRect>

namespace ocu {

class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);

    int X(int units) const;
    int Y(int units) const;
    QRect Rect(int x, int y, int width, int height) const;

private:
    int m_baseX = 0; // average character width, pixels
    int m_baseY = 0; // line height, pixels
};

} // namespace ocu
