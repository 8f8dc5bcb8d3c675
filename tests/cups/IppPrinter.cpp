// CIppPrinter: ippeveprinter started on its port with the private bus and Avahi, and stopped.
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
template <typename Ready> bool WaitUntil(const QProcess &process, Ready ready)
{
    QDeadlineTimer deadline(10000);
    while (!ready()) {
        if (process.state() == QProcess::NotRunning || deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}

// The private system bus and the Avahi daemon on it, shared by every printer (a second Avahi daemon on
// the machine would not start).
struct DnsSd {
    QProcess bus;
    QProcess avahi;
    QString broken;
    QString address;
    int users = 0;
};
DnsSd *g_dnsSd = nullptr;

void StopProcess(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished();
    }
}

DnsSd &StartDnsSd(const QString &dir)
{
    if (g_dnsSd != nullptr) {
        ++g_dnsSd->users;
        return *g_dnsSd;
    }
    g_dnsSd = new DnsSd;
    g_dnsSd->users = 1;
    const QString bus = dir + QStringLiteral("/system_bus_socket");
    g_dnsSd->address = QStringLiteral("unix:path=") + bus;
    if (!WriteFile(dir + QStringLiteral("/bus.conf"),
                   QStringLiteral(
                       "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                       " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                       "<busconfig><type>system</type><listen>%1</listen><auth>EXTERNAL</auth>\n"
                       "<policy context=\"default\"><allow user=\"*\"/><allow own=\"*\"/>"
                       "<allow send_destination=\"*\"/><allow receive_sender=\"*\"/></policy>"
                       "</busconfig>\n")
                       .arg(g_dnsSd->address)
                       .toUtf8()) ||
        !WriteFile(dir + QStringLiteral("/avahi.conf"),
                   "[server]\nuse-ipv4=yes\nuse-ipv6=no\nallow-interfaces=lo\nenable-dbus=yes\n"
                   "[publish]\npublish-addresses=no\npublish-hinfo=no\npublish-workstation=no\n")) {
        g_dnsSd->broken = QStringLiteral("cannot write the bus's and Avahi's files in ") + dir;
        return *g_dnsSd;
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), g_dnsSd->address);
    for (QProcess *process : {&g_dnsSd->bus, &g_dnsSd->avahi}) {
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::MergedChannels);
    }
    g_dnsSd->bus.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--config-file=") + dir + QStringLiteral("/bus.conf"),
                        QStringLiteral("--nofork"), QStringLiteral("--nopidfile")});
    if (!g_dnsSd->bus.waitForStarted(10000) ||
        !WaitUntil(g_dnsSd->bus, [&] { return QFileInfo::exists(bus); })) {
        g_dnsSd->broken = QStringLiteral("the private system bus did not start: ") +
                          QString::fromUtf8(g_dnsSd->bus.readAll());
        return *g_dnsSd;
    }
    g_dnsSd->avahi.start(QStringLiteral("avahi-daemon"),
                         {QStringLiteral("--no-drop-root"), QStringLiteral("--no-chroot"),
                          QStringLiteral("--no-rlimits"), QStringLiteral("-f"),
                          dir + QStringLiteral("/avahi.conf")});
    if (!g_dnsSd->avahi.waitForStarted(10000))
        g_dnsSd->broken = QStringLiteral("avahi-daemon did not start (package avahi-daemon)");
    return *g_dnsSd;
}

void StopDnsSd()
{
    if (g_dnsSd == nullptr || --g_dnsSd->users > 0)
        return;
    StopProcess(g_dnsSd->avahi);
    StopProcess(g_dnsSd->bus);
    delete g_dnsSd;
    g_dnsSd = nullptr;
}

} // namespace

CIppPrinter::CIppPrinter(const QString &dir, quint16 port, const QByteArray &format)
    : m_dir(dir), m_port(port)
{
    QDir().mkpath(m_dir + QStringLiteral("/documents"));
    const DnsSd &dnsSd = StartDnsSd(QFileInfo(m_dir).path());
    if (!dnsSd.broken.isEmpty()) {
        m_broken = dnsSd.broken;
        return;
    }
    const QByteArray raster = format == "image/pwg-raster"
                                  ? "ATTR keyword pwg-raster-document-type-supported sgray_8\n"
                                    "ATTR resolution pwg-raster-document-resolution-supported 300dpi\n"
                                  : "";
    if (!WriteFile(m_dir + QStringLiteral("/printer.conf"),
                   "ATTR mimeMediaType document-format-supported " + format + "\n" +
                       "ATTR mimeMediaType document-format-default " + format + "\n" +
                       "ATTR keyword media-default oe_label_1.125x3.5in\n"
                       "ATTR keyword media-supported oe_label_1.125x3.5in,oe_return-label_0.75x2in\n"
                       "ATTR keyword media-ready oe_label_1.125x3.5in\n"
                       "ATTR keyword print-color-mode-default monochrome\n"
                       "ATTR keyword print-color-mode-supported monochrome\n" +
                       raster)) {
        m_broken = QStringLiteral("cannot write the printer's files in ") + m_dir;
        return;
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), dnsSd.address);
    m_printer.setProcessEnvironment(env);
    m_printer.setProcessChannelMode(QProcess::MergedChannels);
    if (!StartProgram(m_printer, QStringLiteral("ippeveprinter"),
                      {QStringLiteral("-a"), m_dir + QStringLiteral("/printer.conf"), QStringLiteral("-r"),
                       QStringLiteral("off"), QStringLiteral("-k"), QStringLiteral("-c"),
                       QStringLiteral("/bin/true"), QStringLiteral("-d"),
                       m_dir + QStringLiteral("/documents"), QStringLiteral("-p"), QString::number(m_port),
                       QStringLiteral("Corvane Label %1").arg(m_port)}) ||
        !WaitUntil(m_printer, [&] { return Accepts(m_port); }))
        m_broken = QStringLiteral("ippeveprinter did not start (package cups-ipp-utils): ") +
                   QString::fromUtf8(m_printer.readAll());
}

CIppPrinter::~CIppPrinter()
{
    StopProcess(m_printer);
    StopDnsSd();
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
