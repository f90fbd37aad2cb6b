#include "DialogUnits.h"

#include <QFontMetrics>

DialogUnits::DialogUnits(const QFont& font)
{
    const QFontMetrics metrics(font);
    // The average width of the 52 letters, rounded, as dialog templates count it.
    static const QString letters =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    m_charWidth = (metrics.horizontalAdvance(letters) / 26 + 1) / 2;
    m_charHeight = metrics.height();
}
