// Paints the program's artwork and writes it as PNG files: the toolbar strip (six 24 x 24 images:
// print, zoom, previous page, page, next page, cancel) and the application icon at 16, 32 and 48
// pixels. Run: corvane-artwork <folder>   (the resource file takes them from src/res/images).
#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>
#include <cstring>

namespace {

constexpr int kCell = 24;

void PaintPrint(QPainter &p)
{
    // A label printer: body, the tape coming out at the front, the cassette window on top.
    p.setPen(QPen(QColor(60, 60, 70), 1));
    p.setBrush(QColor(250, 250, 250));
    p.drawRect(QRectF(6.5, 2.5, 11, 6));
    p.setBrush(QColor(120, 128, 140));
    p.drawRoundedRect(QRectF(2.5, 8.5, 19, 9), 2, 2);
    p.setBrush(QColor(250, 250, 250));
    p.drawRect(QRectF(6.5, 14.5, 11, 7));
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.drawLine(QPointF(8.5, 17.5), QPointF(15.5, 17.5));
    p.drawLine(QPointF(8.5, 19.5), QPointF(13.5, 19.5));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(80, 200, 90));
    p.drawEllipse(QRectF(17, 10, 3, 3));
}

void PaintZoom(QPainter &p)
{
    p.setPen(QPen(QColor(50, 60, 80), 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(14, 14), QPointF(21, 21));
    p.setPen(QPen(QColor(50, 60, 80), 2));
    p.setBrush(QColor(200, 225, 250));
    p.drawEllipse(QPointF(10, 10), 6.5, 6.5);
}

void PaintArrow(QPainter &p, bool next)
{
    QPainterPath path;
    if (next) {
        path.moveTo(7, 4);
        path.lineTo(19, 12);
        path.lineTo(7, 20);
    } else {
        path.moveTo(17, 4);
        path.lineTo(5, 12);
        path.lineTo(17, 20);
    }
    path.closeSubpath();
    p.setPen(QPen(QColor(20, 70, 150), 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(60, 130, 220));
    p.drawPath(path);
}

void PaintPage(QPainter &p)
{
    QPainterPath sheet;
    sheet.moveTo(5.5, 2.5);
    sheet.lineTo(14.5, 2.5);
    sheet.lineTo(19.5, 7.5);
    sheet.lineTo(19.5, 21.5);
    sheet.lineTo(5.5, 21.5);
    sheet.closeSubpath();
    p.setPen(QPen(QColor(70, 70, 80), 1));
    p.setBrush(QColor(255, 255, 255));
    p.drawPath(sheet);
    p.drawLine(QPointF(14.5, 2.5), QPointF(14.5, 7.5));
    p.drawLine(QPointF(14.5, 7.5), QPointF(19.5, 7.5));
    p.setPen(QPen(QColor(130, 130, 140), 1));
    for (int y = 11; y <= 18; y += 3)
        p.drawLine(QPointF(8, y + 0.5), QPointF(17, y + 0.5));
}

void PaintCancel(QPainter &p)
{
    p.setPen(QPen(QColor(150, 20, 20), 1));
    p.setBrush(QColor(215, 45, 40));
    p.drawEllipse(QRectF(2.5, 2.5, 19, 19));
    p.setPen(QPen(Qt::white, 2.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8, 8), QPointF(16, 16));
    p.drawLine(QPointF(16, 8), QPointF(8, 16));
}

QImage PaintToolbar()
{
    QImage strip(6 * kCell, kCell, QImage::Format_ARGB32);
    strip.fill(Qt::transparent);
    QPainter p(&strip);
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 6; ++i) {
        p.save();
        p.translate(i * kCell, 0);
        p.setClipRect(0, 0, kCell, kCell);
        switch (i) {
        case 0:
            PaintPrint(p);
            break;
        case 1:
            PaintZoom(p);
            break;
        case 2:
            PaintArrow(p, false);
            break;
        case 3:
            PaintPage(p);
            break;
        case 4:
            PaintArrow(p, true);
            break;
        default:
            PaintCancel(p);
            break;
        }
        p.restore();
    }
    return strip;
}

// The icon: a length of label tape with a printed bar, under a magnifier.
QImage PaintIcon(int size)
{
    QImage icon(size, size, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 48.0, size / 48.0);
    p.setPen(QPen(QColor(30, 50, 90), 2));
    p.setBrush(QColor(40, 90, 170));
    p.drawRoundedRect(QRectF(3, 3, 42, 42), 8, 8);
    p.setPen(QPen(QColor(180, 180, 180), 1));
    p.setBrush(QColor(255, 236, 120));
    p.drawRect(QRectF(7, 14, 34, 16));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 30, 30));
    for (int x = 10; x < 28; x += 4)
        p.drawRect(QRectF(x, 18, 2, 8));
    p.setPen(QPen(QColor(250, 250, 250), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(34, 34), QPointF(42, 42));
    p.setPen(QPen(QColor(250, 250, 250), 3));
    p.setBrush(QColor(255, 255, 255, 90));
    p.drawEllipse(QPointF(29, 29), 8, 8);
    return icon;
}

bool Save(const QImage &image, const QString &path)
{
    if (image.save(path, "PNG"))
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    // The command line is checked before the toolkit starts, so --help needs no display.
    const char usage[] =
        "usage: corvane-artwork FOLDER  (paints toolbar.png and icon16/32/48.png into FOLDER)\n";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(usage, stdout);
            return 0;
        }
        if (argv[i][0] == '-') {
            std::fprintf(stderr, "corvane-artwork: unknown option %s\n", argv[i]);
            std::fputs(usage, stderr);
            return 2;
        }
    }
    if (argc != 2) {
        std::fputs(usage, stderr);
        return 2;
    }
    // It paints images only: no window, so no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QString folder = QCoreApplication::arguments().at(1);
    bool ok = Save(PaintToolbar(), folder + QStringLiteral("/toolbar.png"));
    for (const int size : {16, 32, 48})
        ok = Save(PaintIcon(size), folder + QStringLiteral("/icon%1.png").arg(size)) && ok;
    return ok ? 0 : 1;
}
