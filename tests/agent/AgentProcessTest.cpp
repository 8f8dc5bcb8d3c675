// The real corvane-agent, run as a user runs it, with a stand-in filter that speaks the filter's
// messages on the agent's rendezvous name: the real corvane-preview (offscreen) or a stand-in preview
// (fake_preview) on the other side. The agent listens on a name of its own (--name-uid) so that the
// tests never meet a real agent of the same user.
#include "AgentFixture.h"

namespace {

using namespace agenttest;

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
// preview that dies gives no print. The log gives the title exactly as it came.
TEST_F(AgentProcessTest, TheUsersDecisionReachesTheFilter)
{
    StartAgent(QStringLiteral("print"));
    {
        CFakeFilter filter(m_nameUid);
        ASSERT_TRUE(filter.Job("50% %1 off %2"));
        EXPECT_TRUE(WaitForLog(QStringLiteral("\"50% %1 off %2\", 1 copies"))) << Log().toStdString();
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
    EXPECT_FALSE(Log().contains(QStringLiteral("refused a connection")))
        << "a second agent's look at the name is no intruder";

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

    // An agent of a user who is neither root nor the filter user, on that user's own name: a second
    // agent of the user looks at the name without being taken for an intruder, and another user
    // who names that uid hears that the name is that user's own agent's.
    const auto asNobody = [] {
        if (::setresgid(kNobody, kNobody, kNobody) != 0 || ::setresuid(kNobody, kNobody, kNobody) != 0)
            ::_exit(2);
    };
    const QStringList onNobodysName{QStringLiteral("--name-uid"), QString::number(kNobody)};
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess nobodys, nobodysSecond, other;
    for (QProcess *agent : {&nobodys, &nobodysSecond, &other}) {
        agent->setProcessEnvironment(env);
        if (agent != &other)
            agent->setChildProcessModifier(asNobody);
    }
    nobodys.setStandardErrorFile(m_runtime.filePath(QStringLiteral("agent.log")), QIODevice::Append);
    nobodys.start(QStringLiteral(CORVANE_BINARY_DIR "/corvane-agent"), onNobodysName);
    ASSERT_TRUE(WaitForLog(QStringLiteral("listening for print jobs of uid %1 ").arg(kNobody)));
    const qsizetype refusals = Log().count(QStringLiteral("refused a connection"));
    nobodysSecond.start(QStringLiteral(CORVANE_BINARY_DIR "/corvane-agent"), onNobodysName);
    ASSERT_TRUE(nobodysSecond.waitForFinished(15000));
    EXPECT_EQ(nobodysSecond.exitCode(), 0);
    EXPECT_TRUE(nobodysSecond.readAllStandardError().contains("already running"));
    EXPECT_TRUE(WaitForLog(QStringLiteral("closed a connection of this user's own (uid 65534)")));
    EXPECT_EQ(Log().count(QStringLiteral("refused a connection")), refusals);
    other.start(QStringLiteral(CORVANE_BINARY_DIR "/corvane-agent"), onNobodysName);
    ASSERT_TRUE(other.waitForFinished(15000));
    EXPECT_EQ(other.exitCode(), 1);
    const QString said = QString::fromUtf8(other.readAllStandardError());
    EXPECT_TRUE(said.contains(QStringLiteral("held by that user's own agent"))) << said.toStdString();
    EXPECT_FALSE(said.contains(QStringLiteral("refuse"))) << said.toStdString();
    nobodys.terminate();
    nobodys.waitForFinished(15000);
}

} // namespace
