// A job's page-file names from its template.
#include "link/PageFileName.h"

namespace {

const QString &Directive()
{
    static const QString directive = QStringLiteral("%05d");
    return directive;
}

} // namespace

QString PageFileFormat(const QString &stem)
{
    return stem + QStringLiteral("_%05d.bmp");
}

QString PageFilePattern(const QString &stem)
{
    return stem + QStringLiteral("_*.bmp");
}

qsizetype PageNumberAt(const QString &format)
{
    return format.lastIndexOf(Directive());
}

QString PageFileName(const QString &format, int nPage)
{
    const qsizetype at = PageNumberAt(format);
    if (at < 0)
        return format;
    const qint64 wide = nPage;
    QString digits = QString::number(wide < 0 ? -wide : wide).rightJustified(wide < 0 ? 4 : 5, u'0');
    if (wide < 0)
        digits.prepend(u'-');
    QString name = format;
    name.replace(at, Directive().size(), digits);
    return name;
}
