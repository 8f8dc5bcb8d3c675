// CTestSession: the runtime folder, the buses and the programs started in the test desktop.
#include "TestSession.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {

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

CTestSession::CTestSession()
{
    m_env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "DISPLAY", "DBUS_SESSION_BUS_ADDRESS"})
        m_env.remove(QString::fromLatin1(name));
    m_env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtimeDir.path());
}

CTestSession::~CTestSession()
{
    for (auto it = m_pids.crbegin(); it != m_pids.crend(); ++it)
        Stop(*it);
}

pid_t CTestSession::StartBackground(const QString &program, const QStringList &arguments, QString *firstLine,
                                    int nTimeoutMs)
{
    auto *process = new QProcess; // left running on purpose: the session ends it by pid
    process->setProcessEnvironment(m_env);
    process->setProcessChannelMode(QProcess::SeparateChannels);
    process->setStandardErrorFile(QProcess::nullDevice());
    if (!firstLine)
        process->setStandardOutputFile(QProcess::nullDevice());
    process->start(program, arguments);
    if (!process->waitForStarted(nTimeoutMs))
        return -1;
    const auto pid = static_cast<pid_t>(process->processId());
    m_pids.append(pid);
    if (firstLine) {
        QDeadlineTimer deadline(nTimeoutMs);
        while (!process->canReadLine() && !deadline.hasExpired())
            process->waitForReadyRead(100);
        *firstLine = QString::fromLocal8Bit(process->readLine()).trimmed();
        if (firstLine->isEmpty())
            return -1;
    }
    return pid;
}

bool CTestSession::StartAccessibility()
{
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty()) {
        m_broken = QStringLiteral("dbus-daemon is not installed (package dbus-daemon)");
        return false;
    }
    QString address;
    if (StartBackground(
            QStringLiteral("dbus-daemon"),
            {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")},
            &address) < 0) {
        m_broken = QStringLiteral("dbus-daemon did not start");
        return false;
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
        return false;
    }
    return true;
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
