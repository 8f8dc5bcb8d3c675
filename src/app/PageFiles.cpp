#include "app/PageFiles.h"

QString PageFileName(const QString &format, int nPage)
{
    static const QString directive = QStringLiteral("%05d");
    const qsizetype at = format.lastIndexOf(directive);
    if (at < 0)
        return format;
    const qint64 wide = nPage;
    QString digits = QString::number(wide < 0 ? -wide : wide).rightJustified(wide < 0 ? 4 : 5, u'0');
    if (wide < 0)
        digits.prepend(u'-');
    QString name = format;
    name.replace(at, directive.size(), digits);
    return name;
}
