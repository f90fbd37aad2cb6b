#include "DialogFont.h"

#include <QFontDatabase>
#include <QStringList>

QFont DialogFont::create(const QFont& systemFont)
{
    QFont font = systemFont;
    const QString family = QString::fromLatin1(kFamily);
    if (QFontDatabase::families().contains(family))
        font.setFamilies({family});
    font.setPointSize(kPointSize);
    return font;
}
