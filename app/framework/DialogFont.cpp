#include "DialogFont.h"

#include <QFontDatabase>

QFont DialogFont::create(const QFont& systemFont, const QStringList& installed)
{
    QFont font = systemFont;
    const QString family = QString::fromLatin1(kFamily);
    if (installed.contains(family))
        font.setFamilies({family});
    font.setPointSize(kPointSize);
    return font;
}

QFont DialogFont::create(const QFont& systemFont)
{
    return create(systemFont, QFontDatabase::families());
}
