// The real corvane-agent, run as a user runs it, with a stand-in filter that speaks the filter's
// messages on the agent's rendezvous name: the real corvane-preview (offscreen) or a stand-in preview
// (fake_preview) on the other side. The agent listens on a name of its own (--name-uid) so that the
// tests never meet a real agent of the same user.
#include "cups/AgentWire.h"
#include "cups/Rendezvous.h"
#include "support/JobCheckRun.h"
#include "view/BmpDecoder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <functional>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace agentwire;

namespace {

constexpr int kWaitMs = 20000;
const uid_t kNobody = 65534;

bool WaitFor(const std::function<bool()> &condition, int ms = kWaitMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > ms)
            return false;
        QThread::msleep(20);
    }
    return true;
}

// The filter's side of one job.
class CFakeFilter {
public:
    explicit CFakeFilter(uid_t nameUid)
    {
        QString why;
        m_fd = rendezvous::Connect(nameUid, &why);
        EXPECT_GE(m_fd, 0) << why.toStdString();
    }
    ~CFakeFilter() { Close(); }
    void Close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    bool Send(quint32 type, const QByteArray &payload) { return SendPacket(m_fd, type, payload) == Io::Ok; }
    bool SendRaw(const QByteArray &bytes)
    {
        return ::send(m_fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL) == bytes.size();
    }
    bool Job(const QByteArray &title, quint32 copies = 1)
    {
        quint32 type = 0, version = 0;
        QByteArray payload;
        return Send(JOB, EncodeJob(JobInfo{7, copies, title})) && Receive(type, payload) == Io::Ok &&
               type == ACCEPTED && DecodeUint(payload, version) && version == kVersion;
    }
    // A whole page in ROWS packets of at most the largest payload.
    bool Page(const PageInfo &page, const QByteArray &rows)
    {
        if (!Send(PAGE, EncodePage(page)))
            return false;
        for (qsizetype at = 0; at < rows.size(); at += qsizetype(kMaxPayload)) {
            if (!Send(ROWS, rows.mid(at, qsizetype(kMaxPayload))))
                return false;
        }
        return true;
    }
    // The next packet, or End when the agent dropped the connection, or WouldBlock after kWaitMs.
    Io Receive(quint32 &type, QByteArray &payload, int ms = kWaitMs)
    {
        pollfd pfd{m_fd, POLLIN, 0};
        if (::poll(&pfd, 1, ms) <= 0)
            return Io::WouldBlock;
        return ReceivePacket(m_fd, type, payload);
    }
    // The decision, or 0.
    quint32 Decision()
    {
        quint32 type = 0, decision = 0;
        QByteArray payload;
        if (Receive(type, payload) != Io::Ok || type != DECISION || !DecodeUint(payload, decision))
            return 0;
        return decision;
    }

private:
    int m_fd = -1;
};

PageInfo Page(quint32 number, quint32 width, quint32 height, quint32 bits)
{
    return PageInfo{number, width, height, bits, 300, 300, 24000, 30000, width, height, 0, 0};
}

// Rows that are part of the whole page: at (10, 20) on a page 30 and 50 dots larger.
PageInfo PlacedPage(quint32 number, quint32 width, quint32 height, quint32 bits)
{
    PageInfo page = Page(number, width, height, bits);
    page.pageWidth = width + 30;
    page.pageHeight = height + 50;
    page.left = 10;
    page.top = 20;
    return page;
}

QByteArray Rows(const PageInfo &page)
{
    QByteArray rows(qsizetype(RowBytes(page) * page.height), '\0');
    for (qsizetype i = 0; i < rows.size(); ++i)
        rows[i] = char(i * 31 % 251);
    return rows;
}

class AgentProcessTest : public ::testing::Test {
protected:
    void StartAgent(const QString &previewMode = {}, const QString &runtimeDir = {})
    {
        ASSERT_TRUE(m_runtime.isValid());
        m_nameUid = 3000000000u + uid_t(::getpid() % 1000000) * 4 + uid_t(m_nAgents++);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir.isEmpty() ? m_runtime.path() : runtimeDir);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("CORVANE_FAKE_PREVIEW_LOG"),
                   m_runtime.filePath(QStringLiteral("fake.log")));
        env.insert(QStringLiteral("CORVANE_FAKE_PREVIEW_MODE"), previewMode);
        m_agent.setProcessEnvironment(env);
        m_agent.setStandardErrorFile(m_runtime.filePath(QStringLiteral("agent.log")), QIODevice::Append);
        QStringList arguments{QStringLiteral("--name-uid"), QString::number(m_nameUid)};
        if (!previewMode.isEmpty())
            arguments << QStringLiteral("--preview")
                      << QStringLiteral(CORVANE_BINARY_DIR "/tests/agent/fake_preview");
        m_agent.start(QStringLiteral(CORVANE_BINARY_DIR "/corvane-agent"), arguments);
        ASSERT_TRUE(m_agent.waitForStarted());
        ASSERT_TRUE(WaitForLog(QStringLiteral("listening for print jobs of uid %1 ").arg(m_nameUid)))
            << Log().toStdString();
    }
    void TearDown() override
    {
        if (m_agent.state() != QProcess::NotRunning) {
            m_agent.terminate();
            if (!m_agent.waitForFinished(15000))
                m_agent.kill();
        }
        m_agent.waitForFinished();
        if (HasFailure() || qEnvironmentVariableIsSet("CORVANE_AGENT_VERBOSE"))
            std::cerr << Log().toStdString();
    }
    // What the agents of the test have logged so far.
    QString Log() const
    {
        QFile file(m_runtime.filePath(QStringLiteral("agent.log")));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    bool WaitForLog(const QString &text)
    {
        return WaitFor([&] { return Log().contains(text); });
    }
    // The job folders under the runtime folder.
    QStringList Folders() const
    {
        return QDir(m_runtime.filePath(QStringLiteral("corvane")))
            .entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    }
    QString FakeLog() const
    {
        QFile file(m_runtime.filePath(QStringLiteral("fake.log")));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QTemporaryDir m_runtime;
    QProcess m_agent;
    uid_t m_nameUid = 0;
    int m_nAgents = 0;
};

// The road of a job to the real preview: page files as they come, the job file, the preview started
// on page 1, and a filter that withdraws (CUPS cancelled the job): the preview closes, nothing stays.
TEST_F(AgentProcessTest, PagesReachTheRealPreviewAndAWithdrawalClosesIt)
{
    StartAgent();
    CFakeFilter filter(m_nameUid);
    ASSERT_TRUE(filter.Job(QByteArrayLiteral("出荷ラベル 100%"), 2)) << Log().toStdString();
    const PageInfo pages[] = {Page(1, 283, 354, 1), PlacedPage(2, 120, 200, 8), Page(3, 90, 70, 24)};
    ASSERT_TRUE(filter.Page(pages[0], Rows(pages[0])));
    ASSERT_TRUE(WaitForLog(QStringLiteral("preview window 0x"))) << "the preview opens before the rest comes";
    ASSERT_EQ(Folders().size(), 1);
    const QString folder = m_runtime.filePath(QStringLiteral("corvane/") + Folders().first()) + u'/';
    EXPECT_EQ(QFileInfo(folder).permissions() & 0x0077, 0) << "only the user may enter the job's folder";

    const CJobCheckRun check = JobCheck({folder + QStringLiteral("job.ini")});
    EXPECT_EQ(check.nExit, 0) << check.out.toStdString();
    for (const char *field : {"\"m_nTapeWidthMm\": 24", "\"m_nTapeLengthMm\": 30", "\"m_nCopies\": 2",
                              "\"m_strTapeWidth\": \"24mm\"", "\"m_strDocName\": \"出荷ラベル 100%\"",
                              "\"m_nDpi\": 300", "\"m_nOrientation\": 1"})
        EXPECT_TRUE(check.out.contains(field)) << field << " in " << check.out.toStdString();

    ASSERT_TRUE(filter.Page(pages[1], Rows(pages[1])));
    ASSERT_TRUE(filter.Page(pages[2], Rows(pages[2])));
    ASSERT_TRUE(filter.Send(END, EncodeUint(3)));
    ASSERT_TRUE(WaitForLog(QStringLiteral("all 3 pages written")));
    for (const PageInfo &page : pages) {
        CBmpBitmap bitmap;
        const QString path = folder + QStringLiteral("page_0000%1.bmp").arg(page.page);
        ASSERT_EQ(ReadBmpFile(path, bitmap), BMP_OK) << path.toStdString();
        EXPECT_EQ(bitmap.nWidth, int(page.pageWidth)) << "the whole page";
        EXPECT_EQ(bitmap.nHeight, int(page.pageHeight));
        EXPECT_EQ(bitmap.nBits, int(page.bitsPerPixel));
    }

    filter.Close();
    EXPECT_TRUE(WaitForLog(QStringLiteral("closing the preview")));
    EXPECT_TRUE(WaitForLog(QStringLiteral("exited with code 0")));
    EXPECT_TRUE(WaitFor([&] { return !QFileInfo::exists(folder); })) << "the job's folder is removed";
}

// A stand-in preview prints once the spooling is finished; an empty job prints without a preview; a
// preview that dies gives no print.
TEST_F(AgentProcessTest, TheUsersDecisionReachesTheFilter)
{
    StartAgent(QStringLiteral("print"));
    {
        CFakeFilter filter(m_nameUid);
        ASSERT_TRUE(filter.Job("two pages"));
        for (quint32 n = 1; n <= 2; ++n)
            ASSERT_TRUE(filter.Page(Page(n, 64, 32, 1), Rows(Page(n, 64, 32, 1))));
        ASSERT_TRUE(filter.Send(END, EncodeUint(2)));
        EXPECT_EQ(filter.Decision(), quint32(PRINT));
        EXPECT_TRUE(WaitFor([&] { return Folders().isEmpty(); }));
        EXPECT_TRUE(WaitFor([&] { return FakeLog().contains(QStringLiteral("ended reply 0")); }));
        EXPECT_TRUE(FakeLog().contains(QStringLiteral("pages 2 1\nresult reply 0\n")))
            << FakeLog().toStdString();
    }
    {
        CFakeFilter filter(m_nameUid);
        ASSERT_TRUE(filter.Job("empty"));
        ASSERT_TRUE(filter.Send(END, EncodeUint(0)));
        EXPECT_EQ(filter.Decision(), quint32(PRINT)) << "nothing to show, nothing to wait for";
        EXPECT_EQ(FakeLog().count(QStringLiteral("start ")), 1);
    }
    m_agent.terminate();
    ASSERT_TRUE(m_agent.waitForFinished(15000));

    StartAgent(QStringLiteral("die"));
    CFakeFilter filter(m_nameUid);
    ASSERT_TRUE(filter.Job("dies"));
    ASSERT_TRUE(filter.Page(Page(1, 8, 8, 8), Rows(Page(1, 8, 8, 8))));
    EXPECT_EQ(filter.Decision(), quint32(NONE)) << Log().toStdString();
    EXPECT_TRUE(WaitFor([&] { return Folders().isEmpty(); }));
}

// Whatever a filter sends out of turn ends its connection and withdraws its job, and the agent goes
// on; a page the preview cannot show is refused with the reason.
TEST_F(AgentProcessTest, BrokenFiltersAreDroppedAndTheAgentGoesOn)
{
    StartAgent(QStringLiteral("wait"));
    struct Broken {
        const char *name;
        std::function<bool(CFakeFilter &)> send;
    };
    const Broken broken[] = {
        {"rows before a page", [](CFakeFilter &f) { return f.Send(ROWS, "abc"); }},
        {"page 2 first", [](CFakeFilter &f) { return f.Send(PAGE, EncodePage(Page(2, 8, 8, 1))); }},
        {"a second job",
         [](CFakeFilter &f) {
             return f.Send(JOB, EncodeJob(JobInfo{8, 1, "again"}));
         }},
        {"an unknown type", [](CFakeFilter &f) { return f.Send(99, {}); }},
        {"a short packet", [](CFakeFilter &f) { return f.SendRaw("abc"); }},
        {"an oversized packet",
         [](CFakeFilter &f) {
             return f.SendRaw(EncodeUint(ROWS) + EncodeUint(kMaxPayload + 1) +
                              QByteArray(kMaxPayload + 1, 'x'));
         }},
        {"rows past the page",
         [](CFakeFilter &f) { return f.Send(PAGE, EncodePage(Page(1, 8, 1, 1))) && f.Send(ROWS, "ab"); }},
        {"END with pages missing", [](CFakeFilter &f) { return f.Send(END, EncodeUint(5)); }},
        {"a page cut short",
         [](CFakeFilter &f) { return f.Send(PAGE, EncodePage(Page(1, 8, 8, 1)).left(20)); }},
        {"a job after a page was shown",
         [](CFakeFilter &f) { return f.Page(Page(1, 8, 2, 1), "ab") && f.Send(JOB, EncodeJob(JobInfo{})); }},
    };
    for (const Broken &b : broken) {
        SCOPED_TRACE(b.name);
        CFakeFilter filter(m_nameUid);
        ASSERT_TRUE(filter.Job("broken"));
        ASSERT_TRUE(b.send(filter));
        quint32 type = 0;
        QByteArray payload;
        EXPECT_EQ(filter.Receive(type, payload), Io::End);
        EXPECT_TRUE(WaitFor([&] { return Folders().isEmpty(); }));
    }
    EXPECT_TRUE(WaitForLog(QStringLiteral("closing the preview"))) << "the last one had a preview open";

    CFakeFilter filter(m_nameUid);
    ASSERT_TRUE(filter.Job("four bits"));
    ASSERT_TRUE(filter.Send(PAGE, EncodePage(Page(1, 8, 8, 4))));
    quint32 type = 0;
    QByteArray payload;
    ASSERT_EQ(filter.Receive(type, payload), Io::Ok);
    EXPECT_EQ(type, quint32(REFUSED));
    EXPECT_TRUE(payload.contains("4 bits")) << payload.toStdString();

    CFakeFilter after(m_nameUid);
    ASSERT_TRUE(after.Job("still here"));
    ASSERT_TRUE(after.Send(END, EncodeUint(0)));
    EXPECT_EQ(after.Decision(), quint32(PRINT));
    EXPECT_EQ(m_agent.state(), QProcess::Running);
    m_agent.terminate();
    ASSERT_TRUE(m_agent.waitForFinished(15000));

    // A session whose runtime folder cannot hold the job: refused, so the filter can print without.
    StartAgent(QStringLiteral("wait"), m_runtime.filePath(QStringLiteral("agent.log")));
    CFakeFilter nowhere(m_nameUid);
    ASSERT_TRUE(nowhere.Send(JOB, EncodeJob(JobInfo{9, 1, "nowhere"})));
    ASSERT_EQ(nowhere.Receive(type, payload), Io::Ok);
    EXPECT_EQ(type, quint32(REFUSED));
    EXPECT_TRUE(payload.contains("cannot create")) << payload.toStdString();
}

// The agent's end (SIGTERM, the session's end) closes every preview and tells every filter NONE.
TEST_F(AgentProcessTest, EndingClosesThePreviewsAndAnswersTheFilters)
{
    StartAgent(QStringLiteral("wait"));
    CFakeFilter first(m_nameUid), second(m_nameUid);
    ASSERT_TRUE(first.Job("one"));
    ASSERT_TRUE(second.Job("two"));
    ASSERT_TRUE(first.Page(Page(1, 16, 16, 1), Rows(Page(1, 16, 16, 1))));
    ASSERT_TRUE(second.Page(Page(1, 16, 16, 24), Rows(Page(1, 16, 16, 24))));
    ASSERT_TRUE(WaitFor([&] { return FakeLog().count(QStringLiteral("start ")) == 2; })) << "two previews";
    m_agent.terminate();
    EXPECT_EQ(first.Decision(), quint32(NONE));
    EXPECT_EQ(second.Decision(), quint32(NONE));
    ASSERT_TRUE(m_agent.waitForFinished(15000));
    EXPECT_EQ(m_agent.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(m_agent.exitCode(), 0);
    EXPECT_EQ(FakeLog().count(QStringLiteral("close\n")), 2) << FakeLog().toStdString();
    EXPECT_EQ(FakeLog().count(QStringLiteral("ended reply 0\n")), 2);
    EXPECT_TRUE(Folders().isEmpty());
}

// Who holds the name, and who may connect: a second agent of the user leaves quietly, a squatter of
// another user is named, a process of another user is refused.
TEST_F(AgentProcessTest, OneAgentPerUserAndOnlyTheFilterMayConnect)
{
    StartAgent();
    QProcess second;
    second.start(QStringLiteral(CORVANE_BINARY_DIR "/corvane-agent"),
                 {QStringLiteral("--name-uid"), QString::number(m_nameUid)});
    ASSERT_TRUE(second.waitForFinished(15000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.readAllStandardError().contains("already running"));

    if (::geteuid() != 0)
        GTEST_SKIP() << "connecting as another user needs root";
    const uid_t name = m_nameUid;
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t squatter = ::fork();
    if (squatter == 0) {
        // Another user, on another name: binds it, says so, and waits to be killed. Then it tries the
        // agent and reports whether it was dropped without a word.
        if (::setresgid(kNobody, kNobody, kNobody) != 0 || ::setresuid(kNobody, kNobody, kNobody) != 0)
            ::_exit(2);
        QString why;
        const int listener = rendezvous::Listen(name + 1000000, &why);
        const int fd = rendezvous::Connect(name, &why);
        char buffer[16];
        const bool dropped = fd >= 0 && ::recv(fd, buffer, sizeof buffer, 0) == 0;
        const char answer = listener >= 0 && dropped ? 'y' : 'n';
        [[maybe_unused]] const ssize_t n = ::write(ready[1], &answer, 1);
        ::pause();
        ::_exit(0);
    }
    ::close(ready[1]);
    char answer = 0;
    ASSERT_EQ(::read(ready[0], &answer, 1), 1);
    ::close(ready[0]);
    EXPECT_EQ(answer, 'y') << "the squatter could bind its name and was dropped by the agent";
    EXPECT_TRUE(WaitForLog(
        QStringLiteral("refused a connection: uid 65534 is neither root nor the print filter user")));

    QProcess blocked;
    blocked.start(QStringLiteral(CORVANE_BINARY_DIR "/corvane-agent"),
                  {QStringLiteral("--name-uid"), QString::number(name + 1000000)});
    ASSERT_TRUE(blocked.waitForFinished(15000));
    EXPECT_EQ(blocked.exitCode(), 1);
    EXPECT_TRUE(blocked.readAllStandardError().contains("held by a process of uid 65534"));
    ::kill(squatter, SIGKILL);
    ::waitpid(squatter, nullptr, 0);
}

} // namespace
