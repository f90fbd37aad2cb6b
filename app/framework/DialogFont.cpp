#include "DialogFont.h"

#include <QFontDatabase>

QFont DialogFont::create(const QFont& systemFont, const QStringList& installed)
{
    QFont font = systemFont;
    const QString family = QString::fromLatin1(kFamily);
    // Qt looks for a character in the families in order before it asks the
    // system for a font that has it.
    font.setFamilies({installed.contains(family) ? family : systemFont.family(),
                      QString::fromLatin1(kSymbolsFamily)});
    font.setPointSize(kPointSize);
    return font;
}

QFont DialogFont::create(const QFont& systemFont)
{
    return create(systemFont, QFontDatabase::families());
}
