// Rendering the sample label's pages and writing them with the job file.
#include "LabelJob.h"

#include "driverside/JobFileWriter.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QTransform>

namespace {

// dots = mm * dpi / 25.4, rounded to the nearest dot.
int MmToDots(int mm, int dpi)
{
    return static_cast<int>((static_cast<qint64>(mm) * dpi * 10 + 127) / 254);
}

// The largest font up to pixelSize in which text fits into width.
QFont LabelFont(int pixelSize, bool bold, const QString &text, int width)
{
    QFont font;
    font.setFamilies({QStringLiteral("IPAGothic"), QStringLiteral("IPAPGothic"),
                      QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Noto Sans JP"),
                      QStringLiteral("VL Gothic"), QStringLiteral("Sans Serif")});
    font.setPixelSize(qMax(6, pixelSize));
    font.setBold(bold);
    font.setStyleStrategy(QFont::NoAntialias);
    while (font.pixelSize() > 6 && QFontMetrics(font).horizontalAdvance(text) > width)
        font.setPixelSize(font.pixelSize() * 9 / 10);
    return font;
}

// Bars of one to three modules, the widths taken from the bits of the text: looks like a barcode,
// encodes nothing a scanner would read.
void DrawBars(QPainter &painter, const QRect &area, const QString &text, int module)
{
    quint32 seed = 2166136261u;
    for (QChar c : text)
        seed = (seed ^ c.unicode()) * 16777619u;
    int x = area.left();
    bool black = true;
    while (x < area.right()) {
        seed = seed * 1103515245u + 12345u;
        const int width = module * (1 + static_cast<int>((seed >> 16) % 3));
        if (black)
            painter.fillRect(QRect(x, area.top(), qMin(width, area.right() - x), area.height()), Qt::black);
        x += width;
        black = !black;
    }
}

} // namespace

int LabelPageLengthMm(int nPage)
{
    return 30 + 15 * ((nPage - 1) % 4);
}

QImage RenderLabelPage(const DriverOptions &options, int nPage)
{
    // Drawn with the tape running left to right, then turned so that orientation 1 runs down.
    const int across = MmToDots(options.tapeWidthMm, options.dpi);
    const int along = MmToDots(LabelPageLengthMm(nPage), options.dpi);
    QImage canvas(along, across, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    {
        QPainter painter(&canvas);
        const int margin = qMax(2, across / 12);
        const int line = qMax(1, options.dpi / 90);
        painter.setPen(QPen(Qt::black, line));
        painter.drawRect(QRect(line / 2, line / 2, along - line, across - line));

        const int barsWidth = qMin(along / 3, MmToDots(20, options.dpi));
        const QRect text(margin, margin, along - 3 * margin - barsWidth, across - 2 * margin);
        const QRect bars(along - margin - barsWidth, margin, barsWidth, across - 2 * margin);

        const QString title = QStringLiteral("ラベル %1").arg(nPage);
        const QString detail =
            QStringLiteral("Page %1/%2 · 見本 %3 mm").arg(nPage).arg(options.pages).arg(options.tapeWidthMm);
        painter.setFont(LabelFont(text.height() * 2 / 5, true, title, text.width()));
        painter.drawText(QRect(text.left(), text.top(), text.width(), text.height() / 2),
                         Qt::AlignLeft | Qt::AlignVCenter, title);
        painter.setFont(LabelFont(text.height() / 4, false, detail, text.width()));
        painter.drawText(QRect(text.left(), text.center().y(), text.width(), text.height() / 2),
                         Qt::AlignLeft | Qt::AlignVCenter, detail);
        DrawBars(painter, bars, QStringLiteral("CORVANE-%1").arg(nPage), qMax(1, options.dpi / 90));
    }
    if (options.orientation == 1)
        canvas = canvas.transformed(QTransform().rotate(90));
    QImage page = canvas.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither | Qt::MonoOnly);
    const int dotsPerMetre = static_cast<int>(options.dpi * 10000 / 254);
    page.setDotsPerMeterX(dotsPerMetre);
    page.setDotsPerMeterY(dotsPerMetre);
    return page;
}

bool WriteLabelJob(const DriverOptions &options, const QString &dir, LabelJob &job, QString *why)
{
    job.dir = dir.endsWith(u'/') ? dir : dir + u'/';
    job.pageFiles.clear();
    for (int page = 1; page <= options.pages; ++page) {
        const QString path = JobPageFile(job.dir, options.baseName, page);
        if (!RenderLabelPage(options, page).save(path, "BMP")) {
            if (why != nullptr)
                *why = QStringLiteral("cannot write ") + path;
            return false;
        }
        job.pageFiles.append(path);
    }

    JobFileKeys keys;
    keys.maxTapeWidthMm = options.tapeWidthMm;
    keys.maxTapeLengthMm = LabelPageLengthMm(1);
    keys.filePath = job.dir;
    keys.fileName = options.baseName;
    keys.copies = options.copies;
    keys.tapeWidth = QStringLiteral("%1mm").arg(options.tapeWidthMm);
    keys.tapeLength = QStringLiteral("%1mm").arg(LabelPageLengthMm(1));
    keys.docName = options.docName;
    keys.dpi = options.dpi;
    keys.orientation = options.orientation;
    job.jobFile = job.dir + options.baseName + QStringLiteral(".ini");
    return WriteJobFile(job.jobFile, keys, why, options.omitKey);
}
