#pragma once

#include <QFont>
#include <QStringList>

// The font of every window. The dialogs were drawn for a font of 8 points
// whose letters average 6 pixels at 96 dpi. Liberation Sans (Debian's
// fonts-liberation2) has the metrics of the classic Windows dialog font and
// fits those units; where it is not installed the system's own font is used
// at the same size, and the layout stays as it is. The symbol of a lone CR
// comes from the program's own font, Formtidy Symbols, which draws it sharp
// at this size.
class DialogFont
{
public:
    static constexpr const char* kFamily = "Liberation Sans";
    static constexpr const char* kSymbolsFamily = "Formtidy Symbols";
    static constexpr int kPointSize = 8;

    // Liberation Sans at 8 points where it is among the `installed` font
    // families, else `systemFont` at 8 points; Formtidy Symbols for what
    // that font lacks.
    static QFont create(const QFont& systemFont, const QStringList& installed);
    static QFont create(const QFont& systemFont);
};
