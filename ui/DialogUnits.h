#pragma once

#include <QRect>

class QFont;

// Converts dialog units to pixels through a font's metrics: a horizontal unit
// is a quarter of the font's average character width, a vertical unit an
// eighth of its height.
class DialogUnits
{
public:
    explicit DialogUnits(const QFont& font);

    int x(int units) const { return (units * m_charWidth + 2) / 4; }
    int y(int units) const { return (units * m_charHeight + 4) / 8; }
    QRect rect(int left, int top, int width, int height) const
    {
        return QRect(x(left), y(top), x(width), y(height));
    }
    QSize size(int width, int height) const { return QSize(x(width), y(height)); }

private:
    int m_charWidth;
    int m_charHeight;
};
