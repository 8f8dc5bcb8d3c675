// One job of the agent over a socket pair, in this process as any user: a filter that breaks the
// messages' rules has its connection dropped with the reason in the log, hears ACCEPTED only for a good
// JOB, and leaves no job folder behind.
#include "agent/AgentJob.h"
#include "agent/RateLog.h"
#include "log/Log.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace agentwire;

namespace {

struct Packet {
    quint32 type;
    QByteArray payload;
};

TEST(AgentJob, RuleBreakersAreDropped)
{
    int argc = 1;
    char name[] = "test_agent_job";
    char *argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    JobInfo info;
    info.jobId = 9;
    info.copies = 1;
    info.title = "Labels";
    const QByteArray job = EncodeJob(info);
    struct Case {
        QList<Packet> packets;
        bool accepted;
        const char *reason;
    } cases[] = {
        {{{JOB, job}, {ROWS, "rows"}}, true, "ROWS outside a page"},
        {{{END, EncodeUint(0)}}, false, "where it does not belong"},
        {{{JOB, job}, {JOB, job}}, true, "where it does not belong"},
        {{{JOB, job}, {END, EncodeUint(3)}}, true, "END of 3 pages after 0 complete pages"},
        {{{JOB, job}, {PAGE, "abc"}}, true, "a page message of 3 bytes"},
        {{{JOB, "x"}}, false, "a bad job message"},
    };
    CRateLog idle;
    for (const Case &c : cases) {
        const int log = ::memfd_create("log", MFD_CLOEXEC);
        Log::SetSink({log, Log::Style::Program, QByteArray(), false, false});
        int fds[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds), 0);
        auto *agentJob = new CAgentJob(fds[0], ::getuid(), QStringLiteral("/nonexistent"), &idle);
        for (const Packet &packet : c.packets)
            ASSERT_EQ(SendPacket(fds[1], packet.type, packet.payload), Io::Ok);
        bool accepted = false;
        bool closed = false;
        for (QDeadlineTimer deadline(3000); !closed && !deadline.hasExpired();) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            quint32 type = 0;
            QByteArray payload;
            for (Io io; (io = ReceivePacket(fds[1], type, payload)) != Io::WouldBlock;) {
                closed = io != Io::Ok;
                if (closed)
                    break;
                accepted = accepted || type == ACCEPTED;
            }
        }
        Log::SetSink({});
        char buffer[4096] = {};
        ::lseek(log, 0, SEEK_SET);
        const QByteArray lines(buffer, int(::read(log, buffer, sizeof buffer - 1)));
        EXPECT_TRUE(closed) << c.reason;
        EXPECT_EQ(accepted, c.accepted) << c.reason;
        EXPECT_TRUE(lines.contains(c.reason)) << lines.constData();
        EXPECT_EQ(lines.contains("accepted into " + QFile::encodeName(runtime.path())), c.accepted);
        EXPECT_TRUE(QDir(runtime.filePath(QStringLiteral("corvane")))
                        .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                        .isEmpty())
            << c.reason;
        delete agentJob;
        ::close(fds[1]);
        ::close(log);
    }
}

} // namespace
