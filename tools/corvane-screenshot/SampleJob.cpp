// The sample job's page bitmaps and settings.
#include "SampleJob.h"

#include "app/JobSettings.h"
#include "link/PageFileName.h"

#include <QFile>
#include <QFont>
#include <QPainter>

#include <cmath>

namespace {

void PutLe16(QByteArray &out, quint16 value)
{
    out.append(char(value & 0xFF));
    out.append(char(value >> 8));
}

void PutLe32(QByteArray &out, quint32 value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.append(char((value >> shift) & 0xFF));
}

int Dots(int mm, int dpi)
{
    return int(std::lround(mm * dpi / 25.4));
}

// One page: a border, the page number, a line of Japanese text and a row of bars.
QImage PaintPage(int nPage, int widthDots, int heightDots, int dpi)
{
    QImage page(widthDots, heightDots, QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter painter(&page);
    const double mm = dpi / 25.4;
    painter.setPen(QPen(Qt::black, 0.6 * mm));
    painter.drawRoundedRect(QRectF(1.5 * mm, 1.5 * mm, widthDots - 3 * mm, heightDots - 3 * mm), 2 * mm,
                            2 * mm);
    QFont font;
    font.setFamilies({QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic")});
    font.setPixelSize(int(6 * mm));
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(QRectF(5 * mm, 3 * mm, widthDots - 10 * mm, 8 * mm), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("ラベル見本 %1").arg(nPage));
    font.setPixelSize(int(3.5 * mm));
    font.setBold(false);
    painter.setFont(font);
    painter.drawText(QRectF(5 * mm, 11 * mm, widthDots - 10 * mm, 5 * mm), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Corvane 印刷プレビュー"));
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    double x = 5 * mm;
    for (int i = 0; x < widthDots - 6 * mm; ++i) {
        const double bar = ((i * 7 + nPage) % 3 + 1) * 0.35 * mm;
        painter.drawRect(QRectF(x, 17 * mm, bar, heightDots - 20 * mm));
        x += bar + ((i * 5) % 2 + 1) * 0.35 * mm;
    }
    return page;
}

} // namespace

bool WriteMonoBmp(const QString &path, const QImage &image)
{
    const QImage source = image.convertToFormat(QImage::Format_Grayscale8);
    const int width = source.width();
    const int height = source.height();
    const int stride = ((width + 31) / 32) * 4;
    const quint32 dataOffset = 14 + 40 + 2 * 4;
    const quint32 fileSize = dataOffset + quint32(stride) * quint32(height);

    QByteArray out;
    out.reserve(int(fileSize));
    out.append("BM", 2);
    PutLe32(out, fileSize);
    PutLe32(out, 0);
    PutLe32(out, dataOffset);
    PutLe32(out, 40);
    PutLe32(out, quint32(width));
    PutLe32(out, quint32(height));
    PutLe16(out, 1);
    PutLe16(out, 1);
    PutLe32(out, 0);
    PutLe32(out, quint32(stride) * quint32(height));
    PutLe32(out, 2835);
    PutLe32(out, 2835);
    PutLe32(out, 2);
    PutLe32(out, 2);
    PutLe32(out, 0x00000000); // index 0: black
    PutLe32(out, 0x00FFFFFF); // index 1: white
    for (int y = height - 1; y >= 0; --y) {
        const uchar *line = source.constScanLine(y);
        QByteArray row(stride, '\0');
        for (int x = 0; x < width; ++x) {
            if (line[x] >= 128)
                row[x / 8] = char(uchar(row[x / 8]) | (0x80 >> (x % 8)));
        }
        out.append(row);
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(out) == out.size();
}

bool WriteSampleJob(const SampleJob &job, CJobSettings &settings)
{
    settings.m_nTapeWidthMm = job.tapeWidthMm;
    settings.m_nTapeLengthMm = job.firstPageLengthMm;
    settings.m_strPageFileFormat = PageFileFormat(job.folder + job.baseName);
    settings.m_strPageFilePattern = PageFilePattern(job.folder + job.baseName);
    settings.m_nCopies = 1;
    settings.m_strTapeWidth = QStringLiteral("%1mm").arg(job.tapeWidthMm);
    settings.m_strTapeLength = QStringLiteral("%1mm").arg(job.firstPageLengthMm);
    settings.m_strDocName = QStringLiteral("Sample");
    settings.m_nDpi = job.dpi;
    settings.m_nOrientation = 2;
    settings.m_nPageCount = job.pageCount;

    const int height = Dots(job.tapeWidthMm, job.dpi);
    for (int nPage = 1; nPage <= job.pageCount; ++nPage) {
        const int width = Dots(nPage == 1 ? job.firstPageLengthMm : job.pageLengthMm, job.dpi);
        if (!WriteMonoBmp(PageFileName(settings.m_strPageFileFormat, nPage),
                          PaintPage(nPage, width, height, job.dpi)))
            return false;
    }
    return true;
}
