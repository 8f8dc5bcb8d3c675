// CAgent: the listener on the rendezvous name, accepting jobs and the agent's end.
#include "Agent.h"

#include "AgentJob.h"
#include "DisplayWatch.h"
#include "JobFolder.h"
#include "RateLog.h"

#include "cups/Rendezvous.h"
#include "driverside/PreviewStart.h"
#include "log/Log.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// How long the previews get to close when the agent ends, before it leaves without them.
constexpr int kShutdownMs = 10000;
// How long the listener is left alone when a connection cannot be accepted for want of descriptors.
constexpr int kResumeMs = 1000;

int g_signalWrite = -1;

// Signals become bytes on a pipe that the event loop reads.
void OnSignalCaught(int signal)
{
    const int saved = errno;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t n = ::write(g_signalWrite, &byte, 1);
    errno = saved;
}

} // namespace

CAgent::CAgent(const Options &options, QObject *parent) : QObject(parent), m_options(options) {}

CAgent::~CAgent()
{
    qDeleteAll(m_jobs);
    if (m_listenFd >= 0)
        ::close(m_listenFd);
    for (int fd : m_signalPipe) {
        if (fd >= 0)
            ::close(fd);
    }
}

int CAgent::Start()
{
    m_strPreview = FindPreview(m_options.previewProgram);
    if (m_strPreview.isEmpty() || !QFileInfo(m_strPreview).isExecutable()) {
        Log::Info(m_options.previewProgram.isEmpty()
                      ? QStringLiteral("corvane-preview is neither beside the agent nor on PATH")
                      : QStringLiteral("%1 is not a program").arg(m_options.previewProgram));
        return 1;
    }
    m_filterUid = rendezvous::FilterUserUid();

    // Without a display every preview would fail: better no agent, so that the queue's policy decides
    // at once for every job, than one that takes jobs it cannot show.
    m_display = new CDisplayWatch(this);
    QString why;
    if (!m_display->Connect(&why)) {
        Log::Info(QStringLiteral("no display to show previews on (%1); not started").arg(why));
        return 1;
    }
    connect(m_display, &CDisplayWatch::Gone, this, [this] {
        Shutdown(QStringLiteral("as at the session's end: the %1 has gone").arg(m_display->Name()));
    });

    if (::pipe2(m_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        Log::Info(QStringLiteral("pipe: ") + QString::fromLocal8Bit(std::strerror(errno)));
        return 1;
    }
    g_signalWrite = m_signalPipe[1];
    struct sigaction action {};
    action.sa_handler = OnSignalCaught;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGCHLD})
        ::sigaction(signal, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    m_signalNotifier = new QSocketNotifier(m_signalPipe[0], QSocketNotifier::Read, this);
    connect(m_signalNotifier, &QSocketNotifier::activated, this, &CAgent::OnSignal);

    const int code = TakeName();
    if (code >= 0)
        return code;
    m_listenNotifier = new QSocketNotifier(m_listenFd, QSocketNotifier::Read, this);
    connect(m_listenNotifier, &QSocketNotifier::activated, this, &CAgent::OnListenerReadable);
    Log::Info(QStringLiteral("listening for print jobs of uid %1 (from root%2); previews by %3 on %4")
                  .arg(QString::number(m_options.nameUid),
                       m_filterUid == static_cast<uid_t>(-1) ? QString()
                                                             : QStringLiteral(" and uid %1").arg(m_filterUid),
                       m_strPreview, m_display->Name()));
    // The folders of agents that were killed have nobody left to remove them.
    if (const int left = RemoveLeftJobFolders())
        Log::Info(QStringLiteral("removed %1 job folders left by agents that are gone").arg(left));
    return -1;
}

// The name is the user's; when it is taken, the kernel's word on the holder decides: this user's own
// agent (nothing to do), or someone else's (a squatter the filter will refuse; said loudly).
int CAgent::TakeName()
{
    QString why;
    m_listenFd = rendezvous::Listen(m_options.nameUid, &why);
    if (m_listenFd >= 0)
        return -1;
    if (why != u"in use") {
        Log::Info(QStringLiteral("cannot listen on the agent's name: ") + why);
        return 1;
    }
    const int probe = rendezvous::Connect(m_options.nameUid, &why);
    const uid_t holder = probe >= 0 ? rendezvous::PeerUid(probe) : static_cast<uid_t>(-1);
    if (probe >= 0)
        ::close(probe);
    if (holder == ::geteuid()) {
        Log::Info(QStringLiteral("an agent of uid %1 is already running").arg(holder));
        return 0;
    }
    if (holder == static_cast<uid_t>(-1))
        Log::Info(QStringLiteral("the agent's name for uid %1 is held by a process that cannot be identified")
                      .arg(m_options.nameUid));
    else if (holder == m_options.nameUid)
        Log::Info(QStringLiteral("the agent's name for uid %1 is held by that user's own agent, which print "
                                 "filters hand that user's jobs to; only one agent can listen on it")
                      .arg(m_options.nameUid));
    else
        Log::Info(QStringLiteral("the agent's name for uid %1 is held by a process of uid %2; print filters "
                                 "refuse it, but no preview can be shown until it ends")
                      .arg(m_options.nameUid)
                      .arg(holder));
    return 1;
}

void CAgent::OnListenerReadable()
{
    for (;;) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                PauseAccepting();
            return;
        }
        const uid_t peer = rendezvous::PeerUid(fd);
        const rendezvous::Verdict verdict = rendezvous::JudgeFilter(peer, m_filterUid);
        if (!verdict.allowed) {
            if (peer == ::geteuid())
                m_ownProbes.Note(QStringLiteral("closed a connection of this user's own (uid %1): only print "
                                                "filters hand in jobs (a second agent looking at the name)")
                                     .arg(peer));
            else
                m_refusals.Note(QStringLiteral("refused a connection: ") + verdict.reason);
            ::close(fd);
            continue;
        }
        auto *job = new CAgentJob(fd, peer, m_strPreview, &m_idle, this);
        connect(job, &CAgentJob::Finished, this, &CAgent::OnJobFinished);
        m_jobs.append(job);
    }
}

// Out of descriptors: the listener stays readable while connections wait, so it is left alone for a
// while instead of being asked again at once; connections that send no job are closed meanwhile.
void CAgent::PauseAccepting()
{
    m_noDescriptors.Note(
        QStringLiteral("cannot accept a connection: %1 (%2 open connections); trying again in %3 s")
            .arg(QString::fromLocal8Bit(std::strerror(errno)), QString::number(m_jobs.size()),
                 QString::number(kResumeMs / 1000)));
    m_listenNotifier->setEnabled(false);
    if (m_resume == nullptr) {
        m_resume = new QTimer(this);
        m_resume->setSingleShot(true);
        m_resume->setInterval(kResumeMs);
        connect(m_resume, &QTimer::timeout, this, [this] {
            if (m_listenNotifier == nullptr)
                return;
            m_listenNotifier->setEnabled(true);
            OnListenerReadable();
        });
    }
    m_resume->start();
}

void CAgent::OnSignal()
{
    char signals[64];
    const ssize_t n = ::read(m_signalPipe[0], signals, sizeof signals);
    bool bChild = false;
    int end = 0;
    for (ssize_t i = 0; i < n; ++i) {
        if (signals[i] == SIGCHLD)
            bChild = true;
        else
            end = signals[i];
    }
    if (bChild)
        Reap();
    if (end != 0)
        Shutdown(QStringLiteral("on signal %1").arg(end));
}

void CAgent::Reap()
{
    int status = 0;
    pid_t pid;
    while ((pid = ::waitpid(-1, &status, WNOHANG)) > 0) {
        if (WIFEXITED(status))
            Log::Info(QStringLiteral("preview pid %1 exited with code %2").arg(pid).arg(WEXITSTATUS(status)));
        else if (WIFSIGNALED(status))
            Log::Info(
                QStringLiteral("preview pid %1 was killed by signal %2").arg(pid).arg(WTERMSIG(status)));
    }
}

void CAgent::OnJobFinished(CAgentJob *job)
{
    m_jobs.removeAll(job);
    job->deleteLater();
    if (m_bEnding && m_jobs.isEmpty())
        QCoreApplication::exit(0);
}

void CAgent::Shutdown(const QString &why)
{
    if (m_bEnding)
        return;
    m_bEnding = true;
    Log::Info(QStringLiteral("ending %1 (%2 open jobs)").arg(why, QString::number(m_jobs.size())));
    // The name is given up first, so that a new agent can take it while the previews close.
    delete m_listenNotifier;
    m_listenNotifier = nullptr;
    ::close(m_listenFd);
    m_listenFd = -1;
    if (m_jobs.isEmpty()) {
        QCoreApplication::exit(0);
        return;
    }
    const QList<CAgentJob *> jobs = m_jobs;
    for (CAgentJob *job : jobs)
        job->Shutdown();
    m_giveUp = new QTimer(this);
    m_giveUp->setSingleShot(true);
    connect(m_giveUp, &QTimer::timeout, this, &CAgent::GiveUp);
    m_giveUp->start(kShutdownMs);
}

void CAgent::GiveUp()
{
    Log::Info(QStringLiteral("%1 previews did not close in time; leaving them").arg(m_jobs.size()));
    QCoreApplication::exit(0);
}
