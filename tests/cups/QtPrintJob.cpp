// corvane-qt-print-job QUEUE PAGES: prints a small document of PAGES pages to the CUPS queue QUEUE the
// way every Qt application prints, through QPrinter and QPainter. Exits 0 when the job was handed on.
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

#include <cstdio>

int main(int argc, char **argv)
{
    QGuiApplication application(argc, argv);
    if (argc != 3) {
        std::fputs("usage: corvane-qt-print-job QUEUE PAGES\n", stderr);
        return 64;
    }
    const QString queue = QString::fromLocal8Bit(argv[1]);
    const int pages = QByteArray(argv[2]).toInt();
    if (QPrinterInfo::printerInfo(queue).isNull()) {
        std::fprintf(stderr, "corvane-qt-print-job: Qt sees no printer %s\n", argv[1]);
        return 1;
    }
    QPrinter printer(QPrinter::HighResolution);
    printer.setPrinterName(queue);
    printer.setDocName(QStringLiteral("Qt label"));
    // The label printer's default label, 1.125 x 3.5 inches.
    printer.setPageSize(QPageSize(QSizeF(81, 252), QPageSize::Point, QString(), QPageSize::ExactMatch));
    printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Point);
    QPainter painter;
    if (!painter.begin(&printer)) {
        std::fputs("corvane-qt-print-job: the printer cannot be opened\n", stderr);
        return 1;
    }
    for (int page = 1; page <= pages; ++page) {
        if (page > 1)
            printer.newPage();
        const QRect area = painter.viewport();
        painter.drawRect(area.adjusted(10, 10, -10, -10));
        painter.drawText(area, Qt::AlignCenter, QStringLiteral("Qt %1").arg(page));
    }
    return painter.end() ? 0 : 1;
}
