// The real corvane-agent when things go wrong around it: jobs that cannot be shown after all, an agent
// that is killed, floods of connections, a display that is missing or goes away.
#include "AgentFixture.h"

#include <QRegularExpression>

#include <csignal>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/un.h>

namespace {

using namespace agenttest;

// Whether the process has ended (gone, or a zombie nobody has reaped yet).
bool Ended(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    return !stat.open(QIODevice::ReadOnly) || stat.readAll().contains(") Z ");
}

// CPU seconds the process has used.
double CpuSeconds(pid_t pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = file.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return double(fields.value(11).toLongLong() + fields.value(12).toLongLong()) /
           double(::sysconf(_SC_CLK_TCK));
}

// A connection to the agent's name that sends nothing; a full backlog is waited out for a while.
int IdleConnection(uid_t nameUid)
{
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = rendezvous::AgentSocketName(nameUid);
    std::memcpy(address.sun_path + 1, name.constData(), size_t(name.size()));
    const auto size = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + size_t(name.size()));
    int rc = -1;
    WaitFor(
        [&] {
            rc = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), size);
            return rc == 0 || errno != EAGAIN;
        },
        2000);
    if (rc != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// A job the agent took but could not show is not the user's decision: the filter hears REFUSED with
// the reason (and applies the queue's policy), never "no decision".
TEST_F(AgentProcessTest, JobsThatCannotBeShownAreRefusedWithTheReason)
{
    struct Case {
        const char *name;
        const char *mode;
        bool bSmallFolder; // a runtime folder with no room for a page (a small tmpfs)
        bool bEndAgent;    // the agent ends before the window opened
        const char *reason;
    };
    const Case cases[] = {
        {"the preview's window cannot be made", "nowindow", false, false, "could not open its window"},
        {"the agent ends before the window opens", "late", false, true, "ended before the preview was shown"},
        {"no room in the runtime folder", "wait", true, false, "No space left on device"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QString runtime;
        if (c.bSmallFolder) {
            // A private mount namespace keeps the tmpfs to this test process and its children.
            if (::geteuid() != 0 || ::unshare(CLONE_NEWNS) != 0 ||
                ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
                std::cerr << "no room case skipped: a tmpfs needs root\n";
                continue;
            }
            runtime = m_runtime.filePath(QStringLiteral("small"));
            ASSERT_TRUE(QDir().mkpath(runtime));
            ASSERT_EQ(::mount("tmpfs", runtime.toUtf8().constData(), "tmpfs", 0, "size=64k,mode=0700"), 0);
        }
        StartAgent(QLatin1String(c.mode), runtime);
        CFakeFilter filter(m_nameUid);
        ASSERT_TRUE(filter.Job("not shown"));
        const PageInfo page = c.bSmallFolder ? Page(1, 200, 200, 24) : Page(1, 16, 16, 1);
        ASSERT_TRUE(filter.Page(page, Rows(page)));
        if (c.bEndAgent) {
            ASSERT_TRUE(WaitFor([&] { return FakeLog().contains(QStringLiteral("start ")); }));
            m_agent.terminate();
        }
        quint32 type = 0;
        QByteArray payload;
        ASSERT_EQ(filter.Receive(type, payload), Io::Ok);
        EXPECT_EQ(type, quint32(REFUSED)) << payload.toStdString();
        EXPECT_TRUE(payload.contains(c.reason)) << payload.toStdString();
        m_agent.terminate();
        ASSERT_TRUE(m_agent.waitForFinished(15000));
        if (c.bSmallFolder)
            ::umount(runtime.toUtf8().constData());
        QFile::remove(m_runtime.filePath(QStringLiteral("fake.log")));
    }
}

// A killed agent's preview ends with it, and the next agent removes the folder it left: only that
// one, not the folder of an agent that still runs nor one of another user.
TEST_F(AgentProcessTest, AKilledAgentsPreviewEndsAndTheNextAgentRemovesWhatItLeft)
{
    StartAgent();
    CFakeFilter killed(m_nameUid);
    ASSERT_TRUE(killed.Job("killed"));
    ASSERT_TRUE(killed.Page(Page(1, 64, 64, 1), Rows(Page(1, 64, 64, 1))));
    ASSERT_TRUE(WaitForLog(QStringLiteral("preview window 0x"))) << Log().toStdString();
    const QRegularExpressionMatch started =
        QRegularExpression(QStringLiteral("preview started, pid (\\d+)")).match(Log());
    ASSERT_TRUE(started.hasMatch());
    const pid_t preview = started.captured(1).toInt();
    const QString leftBehind = Folders().value(0);

    QProcess live;
    const uid_t liveName = Launch(live, QStringLiteral("wait"));
    ASSERT_TRUE(WaitForLog(QStringLiteral("listening for print jobs of uid %1 ").arg(liveName)));
    CFakeFilter running(liveName);
    ASSERT_TRUE(running.Job("running"));
    ASSERT_TRUE(running.Page(Page(1, 8, 8, 1), Rows(Page(1, 8, 8, 1))));
    ASSERT_TRUE(WaitFor([&] { return Folders().size() == 2; }));
    QStringList kept = Folders();
    kept.removeAll(leftBehind);
    if (::geteuid() == 0) {
        const QString foreign = m_runtime.filePath(QStringLiteral("corvane/job-1-foreign"));
        ASSERT_TRUE(QDir().mkpath(foreign));
        ASSERT_EQ(::chown(foreign.toUtf8().constData(), kNobody, kNobody), 0);
        kept << QStringLiteral("job-1-foreign");
    }

    ::kill(pid_t(m_agent.processId()), SIGKILL);
    ASSERT_TRUE(m_agent.waitForFinished(15000));
    EXPECT_TRUE(WaitFor([&] { return Ended(preview); })) << "the preview outlives its agent";
    quint32 type = 0;
    QByteArray payload;
    EXPECT_EQ(killed.Receive(type, payload), Io::End);
    EXPECT_TRUE(Folders().contains(leftBehind));

    StartAgent();
    EXPECT_TRUE(WaitForLog(QStringLiteral("removed 1 job folders left by agents that are gone")));
    kept.sort();
    EXPECT_EQ(Folders(), kept);
    live.terminate();
    EXPECT_EQ(running.Decision(), quint32(NONE)) << "the running agent's job goes on";
    live.waitForFinished(15000);
}

// Connections that send no job, or come from other users, in floods: the agent waits out a lack of
// descriptors instead of spinning, drops the idle ones after a while, logs refusals at a bounded
// rate, and the next real job is shown.
TEST_F(AgentProcessTest, FloodsOfConnectionsCostLittleAndTheNextJobIsShown)
{
    constexpr rlim_t kDescriptors = 64;
    m_agent.setChildProcessModifier([] {
        const rlimit limit{kDescriptors, kDescriptors};
        ::setrlimit(RLIMIT_NOFILE, &limit);
    });
    StartAgent(QStringLiteral("print"));
    const pid_t agent = pid_t(m_agent.processId());

    const bool bRoot = ::geteuid() == 0;
    if (bRoot) {
        const uid_t name = m_nameUid;
        const pid_t flood = ::fork();
        if (flood == 0) {
            if (::setresgid(kNobody, kNobody, kNobody) != 0 || ::setresuid(kNobody, kNobody, kNobody) != 0)
                ::_exit(2);
            for (int i = 0; i < 2000; ++i) {
                QString why;
                const int fd = rendezvous::Connect(name, &why);
                if (fd >= 0)
                    ::close(fd);
            }
            ::_exit(0);
        }
        ASSERT_GT(flood, 0);
        ::waitpid(flood, nullptr, 0);
    }

    // Every descriptor the agent may have, and a few connections more waiting in its backlog.
    const auto descriptors = [agent] {
        return int(QDir(QStringLiteral("/proc/%1/fd").arg(agent))
                       .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                       .size());
    };
    const int open = descriptors();
    std::vector<int> idle;
    for (int i = open; i < int(kDescriptors) + 4; ++i)
        idle.push_back(IdleConnection(m_nameUid));
    ASSERT_TRUE(WaitForLog(QStringLiteral("cannot accept a connection: Too many open files")))
        << open << " descriptors open at the start";
    const double before = CpuSeconds(agent);
    QThread::msleep(2000);
    EXPECT_LT(CpuSeconds(agent) - before, 0.5) << "the agent spins while it is out of descriptors";

    CFakeFilter filter(m_nameUid);
    ASSERT_TRUE(filter.Job("after the flood")) << Log().toStdString();
    ASSERT_TRUE(filter.Page(Page(1, 8, 8, 1), Rows(Page(1, 8, 8, 1))));
    ASSERT_TRUE(filter.Send(END, EncodeUint(1)));
    EXPECT_EQ(filter.Decision(), quint32(PRINT));
    EXPECT_TRUE(Log().contains(QStringLiteral("no job within 5 s; closed")));
    filter.Close();
    for (int fd : idle)
        ::close(fd);
    EXPECT_TRUE(WaitFor([&] { return descriptors() <= open; }))
        << "the agent keeps closed connections: " << descriptors() << " descriptors, " << open
        << " at the start";
    EXPECT_LE(Log().count(QStringLiteral("closed without a job")), 1) << "one line, then a count";
    if (bRoot) {
        const QRegularExpression refusal(QStringLiteral("^corvane-agent: refused a connection"),
                                         QRegularExpression::MultilineOption);
        EXPECT_EQ(Log().count(refusal), 1) << "one line, then a count";
        EXPECT_TRUE(WaitFor([&] {
            return QRegularExpression(
                       QStringLiteral("\\d+ more in the last 10 s, the last: refused a connection"))
                .match(Log())
                .hasMatch();
        }));
    }
}

// No display at the start: the agent says which and does not start. Its display gone: it ends as at
// the session's end, and a shown job hears "no decision".
TEST_F(AgentProcessTest, WithoutADisplayTheAgentDoesNotStartAndEndsWhenItsDisplayGoes)
{
    struct Case {
        const char *platform; // empty: not set
        const char *display;  // empty: not set
        const char *said;
    };
    const Case cases[] = {
        {"", "", "no display to show previews on (DISPLAY is not set; WAYLAND_DISPLAY is not set)"},
        {"xcb", ":4987", "no display to show previews on (the X display :4987 cannot be reached)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.said);
        QProcess agent;
        Launch(agent, QStringLiteral("wait"), {}, [&](QProcessEnvironment &env) {
            for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
                env.remove(QLatin1String(name));
            if (*c.platform != '\0')
                env.insert(QStringLiteral("QT_QPA_PLATFORM"), QLatin1String(c.platform));
            if (*c.display != '\0')
                env.insert(QStringLiteral("DISPLAY"), QLatin1String(c.display));
        });
        ASSERT_TRUE(agent.waitForFinished(15000));
        EXPECT_EQ(agent.exitCode(), 1);
        EXPECT_TRUE(Log().contains(QLatin1String(c.said))) << Log().toStdString();
    }

    QProcess xvfb;
    xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"),
                                        QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    if (!xvfb.waitForStarted() || !xvfb.waitForReadyRead(10000))
        GTEST_SKIP() << "no Xvfb";
    const QString display = u':' + QString::fromLatin1(xvfb.readLine().trimmed());
    StartAgent(QStringLiteral("wait"), {}, [&](QProcessEnvironment &env) {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("DISPLAY"), display);
    });
    CFakeFilter filter(m_nameUid);
    ASSERT_TRUE(filter.Job("shown"));
    ASSERT_TRUE(filter.Page(Page(1, 8, 8, 1), Rows(Page(1, 8, 8, 1))));
    ASSERT_TRUE(WaitForLog(QStringLiteral("preview window 0x")));
    xvfb.terminate();
    xvfb.waitForFinished(10000);
    EXPECT_EQ(filter.Decision(), quint32(NONE));
    ASSERT_TRUE(m_agent.waitForFinished(15000)) << "the agent outlives its display";
    EXPECT_EQ(m_agent.exitCode(), 0);
    EXPECT_TRUE(Log().contains(
        QStringLiteral("ending as at the session's end: the X display %1 has gone").arg(display)))
        << Log().toStdString();
}

} // namespace
