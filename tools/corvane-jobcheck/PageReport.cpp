// The page reports of corvane-jobcheck: a loaded page as JSON, and as a PNG file.
#include "PageReport.h"

#include "JobReport.h"

#include "app/JobSettings.h"
#include "app/PageFiles.h"
#include "view/PageImage.h"
#include "view/PageLoad.h"

#include <QFileInfo>
#include <QImage>

#include <cstdio>

namespace {

void Print(const QByteArray &json)
{
    std::fwrite(json.constData(), 1, size_t(json.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

QByteArray PaletteJson(const QList<QRgb> &table)
{
    QByteArray out("[");
    for (qsizetype i = 0; i < table.size(); ++i) {
        if (i > 0)
            out.append(", ");
        out.append('[').append(QByteArray::number(qRed(table[i]))).append(", ");
        out.append(QByteArray::number(qGreen(table[i]))).append(", ");
        out.append(QByteArray::number(qBlue(table[i]))).append(']');
    }
    out.append(']');
    return out;
}

} // namespace

CJsonObject PageImageJson(const CPageImage &image)
{
    CJsonObject json;
    json.Add("loaded", !image.IsNull());
    json.Add("width", qint64(image.GetWidth()));
    json.Add("height", qint64(image.GetHeight()));
    json.Add("bits", qint64(image.GetBPP()));
    json.Add("alpha", image.IsAlpha());
    if (!image.IsNull() && image.GetBPP() <= 8)
        json.AddRaw("palette", PaletteJson(image.GetColorTable()));
    return json;
}

int RunPageReport(const QString &bmpFile, const QString &pngFile)
{
    CPageImage image;
    image.Load(bmpFile);
    Print(PageImageJson(image).ToJson());
    if (pngFile.isEmpty() || image.IsNull())
        return 0;
    if (!image.ToRgb888().save(pngFile, "PNG")) {
        std::fprintf(stderr, "corvane-jobcheck: cannot write %s\n", qPrintable(pngFile));
        return 1;
    }
    return 0;
}

int RunPagesReport(const QString &jobFile)
{
    CJobSettings settings;
    const int nResult = settings.ReadJobFile(jobFile);
    CJsonObject json = JobSettingsJson(nResult, settings);
    QByteArray pages("[");
    CPageImage image;
    QString strPrevious;
    for (int nPage = 1; nPage > 0 && !settings.m_strPageFileFormat.isEmpty(); ++nPage) {
        const QString strFile = PageFileName(settings.m_strPageFileFormat, nPage);
        // A format without its page number names one file for every page.
        if (strFile == strPrevious || !QFileInfo::exists(strFile))
            break;
        strPrevious = strFile;
        const int nTapeLengthMm = LoadPageImage(image, settings.m_strPageFileFormat, nPage,
                                                settings.m_nOrientation, settings.m_nDpi);
        CJsonObject page;
        page.Add("page", qint64(nPage));
        page.Add("file", strFile);
        page.Add("loaded", !image.IsNull());
        page.Add("width", qint64(image.GetWidth()));
        page.Add("height", qint64(image.GetHeight()));
        page.Add("m_nTapeLengthMm", qint64(nTapeLengthMm));
        if (nPage > 1)
            pages.append(", ");
        pages.append(page.ToJson());
    }
    pages.append(']');
    json.AddRaw("pages", pages);
    Print(json.ToJson());
    return nResult == 0 ? 0 : 1;
}
