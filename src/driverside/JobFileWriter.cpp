// The job file and the page-file names, as a driver writes them.
#include "driverside/JobFileWriter.h"

#include "link/PageFileName.h"

#include <QFile>
#include <QList>
#include <QPair>

namespace {

QString Quoted(QString value)
{
    for (QChar &c : value) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = u' ';
    }
    return u'"' + value + u'"';
}

} // namespace

QByteArray JobFileText(const JobFileKeys &keys, const QString &omitKey)
{
    const QList<QPair<QString, QString>> drvspec = {
        {QStringLiteral("MaxTapeWidth"), QString::number(keys.maxTapeWidthMm)},
        {QStringLiteral("MaxTapeLength"), QString::number(keys.maxTapeLengthMm)},
    };
    const QList<QPair<QString, QString>> bmpfile = {
        {QStringLiteral("FilePath"), Quoted(keys.filePath)},
        {QStringLiteral("FileName"), Quoted(keys.fileName)},
        {QStringLiteral("Copies"), QString::number(keys.copies)},
        {QStringLiteral("TapeWidth"), Quoted(keys.tapeWidth)},
        {QStringLiteral("TapeLength"), Quoted(keys.tapeLength)},
        {QStringLiteral("DocName"), Quoted(keys.docName)},
        {QStringLiteral("DPI"), QString::number(keys.dpi)},
        {QStringLiteral("Orientation"), QString::number(keys.orientation)},
    };
    QString text;
    auto section = [&](const QString &name, const QList<QPair<QString, QString>> &entries) {
        text += u'[' + name + QStringLiteral("]\n");
        for (const auto &entry : entries) {
            if (omitKey.isEmpty() || entry.first.compare(omitKey, Qt::CaseInsensitive) != 0)
                text += entry.first + u'=' + entry.second + u'\n';
        }
    };
    section(QStringLiteral("DRVSPEC"), drvspec);
    section(QStringLiteral("BMPFILE"), bmpfile);
    return text.toUtf8();
}

bool WriteJobFile(const QString &path, const JobFileKeys &keys, QString *why, const QString &omitKey)
{
    const QByteArray text = JobFileText(keys, omitKey);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size() ||
        !file.flush()) {
        if (why != nullptr)
            *why = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    file.close();
    return true;
}

QString JobPageFile(const QString &filePath, const QString &fileName, int nPage)
{
    return PageFileName(PageFileFormat(filePath + fileName), nPage);
}
