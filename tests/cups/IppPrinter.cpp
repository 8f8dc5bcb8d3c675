#include "IppPrinter.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool WriteFile(const QString &path, const QByteArray &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

bool Accepts(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

// Waits up to 10 s for ready(); false when process ended first or the time ran out.
template <typename Ready>
bool WaitUntil(const QProcess &process, Ready ready)
{
    QDeadlineTimer deadline(10000);
    while (!ready()) {
        if (process.state() == QProcess::NotRunning || deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}

} // namespace

CIppPrinter::CIppPrinter(const QString &dir, quint16 port) : m_dir(dir), m_port(port)
{
    QDir().mkpath(m_dir + QStringLiteral("/documents"));
    const QString bus = m_dir + QStringLiteral("/system_bus_socket");
    const bool written =
        WriteFile(m_dir + QStringLiteral("/bus.conf"),
                  QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                                 " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                                 "<busconfig><type>system</type><listen>unix:path=%1</listen><auth>EXTERNAL</auth>\n"
                                 "<policy context=\"default\"><allow user=\"*\"/><allow own=\"*\"/>"
                                 "<allow send_destination=\"*\"/><allow receive_sender=\"*\"/></policy>"
                                 "</busconfig>\n")
                      .arg(bus)
                      .toUtf8()) &&
        WriteFile(m_dir + QStringLiteral("/avahi.conf"),
                  "[server]\nuse-ipv4=yes\nuse-ipv6=no\nallow-interfaces=lo\nenable-dbus=yes\n"
                  "[publish]\npublish-addresses=no\npublish-hinfo=no\npublish-workstation=no\n") &&
        WriteFile(m_dir + QStringLiteral("/printer.conf"),
                  "ATTR mimeMediaType document-format-supported image/pwg-raster\n"
                  "ATTR mimeMediaType document-format-default image/pwg-raster\n"
                  "ATTR keyword media-default oe_label_1.125x3.5in\n"
                  "ATTR keyword media-supported oe_label_1.125x3.5in,oe_return-label_0.75x2in\n"
                  "ATTR keyword media-ready oe_label_1.125x3.5in\n"
                  "ATTR keyword print-color-mode-default monochrome\n"
                  "ATTR keyword print-color-mode-supported monochrome\n"
                  "ATTR keyword pwg-raster-document-type-supported sgray_8\n"
                  "ATTR resolution pwg-raster-document-resolution-supported 300dpi\n");
    if (!written) {
        m_broken = QStringLiteral("cannot write the printer's files in ") + m_dir;
        return;
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), QStringLiteral("unix:path=") + bus);
    for (QProcess *process : {&m_bus, &m_avahi, &m_printer}) {
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::MergedChannels);
    }
    if (!StartProgram(m_bus, QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--config-file=") + m_dir + QStringLiteral("/bus.conf"),
                       QStringLiteral("--nofork"), QStringLiteral("--nopidfile")}) ||
        !WaitUntil(m_bus, [&] { return QFileInfo::exists(bus); }))
        m_broken = QStringLiteral("the private system bus did not start: ") + QString::fromUtf8(m_bus.readAll());
    else if (!StartProgram(m_avahi, QStringLiteral("avahi-daemon"),
                           {QStringLiteral("--no-drop-root"), QStringLiteral("--no-chroot"),
                            QStringLiteral("--no-rlimits"), QStringLiteral("-f"),
                            m_dir + QStringLiteral("/avahi.conf")}))
        m_broken = QStringLiteral("avahi-daemon did not start (package avahi-daemon)");
    else if (!StartProgram(m_printer, QStringLiteral("ippeveprinter"),
                           {QStringLiteral("-a"), m_dir + QStringLiteral("/printer.conf"), QStringLiteral("-r"),
                            QStringLiteral("off"), QStringLiteral("-k"), QStringLiteral("-c"),
                            QStringLiteral("/bin/true"), QStringLiteral("-d"),
                            m_dir + QStringLiteral("/documents"), QStringLiteral("-p"), QString::number(m_port),
                            QStringLiteral("Corvane Label")}) ||
             !WaitUntil(m_printer, [&] { return Accepts(m_port); }))
        m_broken = QStringLiteral("ippeveprinter did not start (package cups-ipp-utils): ") +
                   QString::fromUtf8(m_printer.readAll() + m_avahi.readAll());
}

CIppPrinter::~CIppPrinter()
{
    for (QProcess *process : {&m_printer, &m_avahi, &m_bus}) {
        if (process->state() != QProcess::NotRunning) {
            process->terminate();
            if (!process->waitForFinished(5000)) {
                process->kill();
                process->waitForFinished();
            }
        }
    }
}

bool CIppPrinter::StartProgram(QProcess &process, const QString &program, const QStringList &arguments)
{
    process.start(program, arguments);
    return process.waitForStarted(10000);
}

QString CIppPrinter::Uri() const
{
    return QStringLiteral("ipp://127.0.0.1:%1/ipp/print").arg(m_port);
}

QByteArray CIppPrinter::Received() const
{
    QByteArray all;
    QDir documents(m_dir + QStringLiteral("/documents"));
    const QFileInfoList files = documents.entryInfoList(QDir::Files, QDir::Time | QDir::Reversed);
    for (const QFileInfo &info : files) {
        QFile file(info.filePath());
        if (file.open(QIODevice::ReadOnly))
            all += file.readAll();
    }
    return all;
}

void CIppPrinter::Clear() const
{
    QDir documents(m_dir + QStringLiteral("/documents"));
    for (const QString &name : documents.entryList(QDir::Files))
        documents.remove(name);
}
