#include "XSession.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <X11/Xlib.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

int RunWithEnvironment(const QProcessEnvironment &env, const QString &program, const QStringList &arguments,
                       QString *output);

namespace {

// Starts a program that stays in the background; its pid, or -1.
pid_t StartBackground(const QString &program, const QStringList &arguments, const QProcessEnvironment &env,
                      QString *firstLine = nullptr, int nTimeoutMs = 10000)
{
    auto *process = new QProcess; // left running on purpose: the session ends it by pid
    process->setProcessEnvironment(env);
    process->setProcessChannelMode(QProcess::SeparateChannels);
    process->setStandardErrorFile(QProcess::nullDevice());
    if (!firstLine)
        process->setStandardOutputFile(QProcess::nullDevice());
    process->start(program, arguments);
    if (!process->waitForStarted(nTimeoutMs))
        return -1;
    if (firstLine) {
        QDeadlineTimer deadline(nTimeoutMs);
        while (!process->canReadLine() && !deadline.hasExpired())
            process->waitForReadyRead(100);
        *firstLine = QString::fromLocal8Bit(process->readLine()).trimmed();
        if (firstLine->isEmpty())
            return -1;
    }
    return static_cast<pid_t>(process->processId());
}

void Stop(pid_t pid)
{
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (::waitpid(pid, nullptr, WNOHANG) != 0)
            return;
        QThread::msleep(20);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

} // namespace

CXSession &CXSession::Instance()
{
    static CXSession session;
    return session;
}

CXSession::CXSession()
{
    Start();
}

CXSession::~CXSession()
{
    Stop(m_wmPid);
    Stop(m_busPid);
    Stop(m_xvfbPid);
}

void CXSession::Start()
{
    for (const char *program : {"Xvfb", "xdotool"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty()) {
            m_missing = QString::fromLatin1(program) +
                        QStringLiteral(" is not installed (tools/setup.sh installs it)");
            return;
        }
    }
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty()) {
        m_broken = QStringLiteral("dbus-daemon is not installed (package dbus-daemon)");
        return;
    }
    m_env = QProcessEnvironment::systemEnvironment();
    m_env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    m_env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    m_env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtimeDir.path());

    // -displayfd: Xvfb picks a free display itself and writes its number.
    QString number;
    m_xvfbPid =
        StartBackground(QStringLiteral("Xvfb"),
                        {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                         QStringLiteral("0"), QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                         QStringLiteral("tcp"), QStringLiteral("-noreset")},
                        m_env, &number);
    if (m_xvfbPid < 0) {
        m_broken = QStringLiteral("Xvfb did not start");
        return;
    }
    m_display = u':' + number;
    m_env.insert(QStringLiteral("DISPLAY"), m_display);

    QString address;
    m_busPid = StartBackground(
        QStringLiteral("dbus-daemon"),
        {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")}, m_env,
        &address);
    if (m_busPid < 0) {
        m_broken = QStringLiteral("dbus-daemon did not start");
        return;
    }
    m_env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);

    // Accessibility on, as a screen reader turns it on: the preview's toolkit then publishes its
    // widgets on the accessibility bus. Nothing of the preview itself is changed for the tests.
    QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("e2e-session"));
    QDBusInterface status(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                          QStringLiteral("org.freedesktop.DBus.Properties"), bus);
    const QDBusMessage set =
        status.call(QStringLiteral("Set"), QStringLiteral("org.a11y.Status"), QStringLiteral("IsEnabled"),
                    QVariant::fromValue(QDBusVariant(true)));
    if (set.type() == QDBusMessage::ErrorMessage) {
        m_broken = QStringLiteral("the accessibility bus is not available (package at-spi2-core): ") +
                   set.errorMessage();
        return;
    }

    if (!QStandardPaths::findExecutable(QStringLiteral("openbox")).isEmpty()) {
        m_wmPid = StartBackground(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")}, m_env);
        // Ready when it has claimed the screen.
        QDeadlineTimer deadline(5000);
        QString out;
        while (!deadline.hasExpired()) {
            if (RunWithEnvironment(m_env, QStringLiteral("xprop"),
                                   {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")},
                                   &out) == 0 &&
                out.contains(QStringLiteral("window id")))
                break;
            QThread::msleep(50);
        }
    }
}

int RunInSession(const QString &program, const QStringList &arguments, QString *output)
{
    return RunWithEnvironment(CXSession::Instance().Environment(), program, arguments, output);
}

int RunWithEnvironment(const QProcessEnvironment &env, const QString &program, const QStringList &arguments,
                       QString *output)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    if (!process.waitForStarted(5000) || !process.waitForFinished(10000))
        return -1;
    if (output)
        *output = QString::fromLocal8Bit(process.readAllStandardOutput());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

bool SendDeleteWindow(quint64 window)
{
    Display *display = XOpenDisplay(CXSession::Instance().DisplayName().toLocal8Bit().constData());
    if (!display)
        return false;
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = static_cast<Window>(window);
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const Status sent = XSendEvent(display, static_cast<Window>(window), False, NoEventMask, &event);
    XFlush(display);
    XCloseDisplay(display);
    return sent != 0;
}
