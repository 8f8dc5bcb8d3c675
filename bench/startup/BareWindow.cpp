// startup-bare-window: the yardstick of bench/startup.bench.sh. A plain Qt main window with the
// preview's widgets (toolbar with four buttons, the zoom list, the page box, five status panes, a
// scrolling view that paints page 1 centred on grey), started by corvane-driver exactly as the preview
// is: it announces itself on the socket at the end of its creation and ends on the close request.
#include "link/DriverFrame.h"
#include "link/LinkMessages.h"
#include "res/Resource.h"
#include "res/StringTable.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPainter>
#include <QSettings>
#include <QSocketNotifier>
#include <QStatusBar>
#include <QToolBar>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_fd = -1;
quint64 g_serial = 0;

void Write(quint32 kind, quint32 message, quint64 wParam)
{
    DriverFrame frame;
    frame.kind = kind;
    frame.message = message;
    frame.serial = ++g_serial;
    frame.wParam = wParam;
    unsigned char bytes[kDriverFrameSize];
    EncodeDriverFrame(frame, bytes);
    if (g_fd >= 0)
        (void)::send(g_fd, bytes, sizeof bytes, MSG_NOSIGNAL);
}

class PageView : public QAbstractScrollArea {
public:
    explicit PageView(const QImage &page, QWidget *parent) : QAbstractScrollArea(parent), m_page(page) {}

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(viewport());
        painter.fillRect(viewport()->rect(), QColor(224, 224, 224));
        QRect target(QPoint(0, 0), m_page.size().scaled(qMax(1, m_page.width() / 2),
                                                        qMax(1, m_page.height() / 2), Qt::KeepAspectRatio));
        target.moveCenter(viewport()->rect().center());
        painter.drawImage(target, m_page);
    }

private:
    QImage m_page;
};

} // namespace

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QString ini;
    for (const QString &argument : QCoreApplication::arguments()) {
        if (argument.startsWith(QStringLiteral("/INI=")))
            ini = argument.mid(5);
        else if (argument.startsWith(QStringLiteral("/HWND=")))
            g_fd = argument.mid(6).toInt(nullptr, 16);
    }
    const QSettings job(ini, QSettings::IniFormat);
    const QString page = job.value(QStringLiteral("BMPFILE/FilePath")).toString() +
                         job.value(QStringLiteral("BMPFILE/FileName")).toString() +
                         QStringLiteral("_00001.bmp");

    QMainWindow window;
    window.setWindowTitle(LoadResString(AFX_IDS_APP_TITLE));
    auto *toolBar = window.addToolBar(LoadResString(IDS_TOOLBAR_STANDARD));
    QPixmap icon(24, 24);
    icon.fill(Qt::darkBlue);
    toolBar->addAction(QIcon(icon), ResTooltipLabel(ID_FILE_PRINT));
    toolBar->addSeparator();
    auto *zoom = new QComboBox(toolBar);
    zoom->setEditable(true);
    zoom->setFixedWidth(120);
    for (int id = IDS_ZOOM_600; id <= IDS_ZOOM_WHOLE_LABEL; ++id)
        zoom->addItem(LoadResString(id));
    zoom->setCurrentIndex(5);
    toolBar->addWidget(zoom);
    toolBar->addSeparator();
    toolBar->addAction(QIcon(icon), ResTooltipLabel(ID_PAGE_PREV));
    auto *pageBox = new QLineEdit(QStringLiteral("1"), toolBar);
    pageBox->setFixedWidth(40);
    toolBar->addWidget(pageBox);
    toolBar->addAction(QIcon(icon), ResTooltipLabel(ID_PAGE_NEXT));
    toolBar->addSeparator();
    toolBar->addAction(QIcon(icon), ResTooltipLabel(ID_APP_EXIT));
    for (int id = ID_INDICATOR_PAGE; id <= ID_INDICATOR_BLANK; ++id)
        window.statusBar()->addPermanentWidget(new QLabel(LoadResString(id), window.statusBar()));
    window.setCentralWidget(new PageView(QImage(page), &window));

    Write(FRAME_POST, WM_PREVIEW_OPENED, static_cast<quint64>(window.winId()));
    if (g_fd >= 0) {
        auto *notifier = new QSocketNotifier(g_fd, QSocketNotifier::Read, &window);
        QObject::connect(notifier, &QSocketNotifier::activated, &window, [&] {
            unsigned char bytes[kDriverFrameSize * 2];
            const ssize_t n = ::recv(g_fd, bytes, sizeof bytes, MSG_DONTWAIT);
            DriverFrame frame;
            if (n <= 0)
                window.close();
            else if (DecodeDriverFrame(bytes, static_cast<std::size_t>(n), frame) &&
                     frame.message == WM_PREVIEW_CLOSE)
                window.close();
        });
    }
    window.show();
    application.exec();

    // The end notification, waited for as the preview waits.
    Write(FRAME_SEND, WM_PREVIEW_ENDED, 0);
    pollfd fd = {g_fd, POLLIN, 0};
    unsigned char reply[kDriverFrameSize * 2];
    if (g_fd >= 0 && ::poll(&fd, 1, 5000) > 0)
        (void)::recv(g_fd, reply, sizeof reply, 0);
    return 0;
}
