#pragma once

#include <QFont>
#include <QStringList>

// The font of every window. The dialogs were drawn for a font of 8 points
// whose letters average 6 pixels at 96 dpi. Liberation Sans (Debian's
// fonts-liberation2) has the metrics of the classic Windows dialog font and
// fits those units; where it is not installed the system's own font is used
// at the same size, and the layout stays as it is.
class DialogFont
{
public:
    static constexpr const char* kFamily = "Liberation Sans";
    static constexpr int kPointSize = 8;

    // Liberation Sans at 8 points where it is among the `installed` font
    // families, else `systemFont` at 8 points.
    static QFont create(const QFont& systemFont, const QStringList& installed);
    static QFont create(const QFont& systemFont);
};
