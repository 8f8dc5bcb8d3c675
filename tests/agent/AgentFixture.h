#pragma once

// What the tests of the real corvane-agent share: a stand-in filter that speaks the filter's messages on
// the agent's rendezvous name, pages to send, and a fixture that starts the agent on a name of its own
// (--name-uid), so that the tests never meet a real agent of the same user.
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
#include <iostream>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace agenttest {

using namespace agentwire;

constexpr int kWaitMs = 20000;
const uid_t kNobody = 65534;

inline bool WaitFor(const std::function<bool()> &condition, int ms = kWaitMs)
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

inline PageInfo Page(quint32 number, quint32 width, quint32 height, quint32 bits)
{
    return PageInfo{number, width, height, bits, 300, 300, 24000, 30000, width, height, 0, 0};
}

// Rows that are part of the whole page: at (10, 20) on a page 30 and 50 dots larger.
inline PageInfo PlacedPage(quint32 number, quint32 width, quint32 height, quint32 bits)
{
    PageInfo page = Page(number, width, height, bits);
    page.pageWidth = width + 30;
    page.pageHeight = height + 50;
    page.left = 10;
    page.top = 20;
    return page;
}

inline QByteArray Rows(const PageInfo &page)
{
    QByteArray rows(qsizetype(RowBytes(page) * page.height), '\0');
    for (qsizetype i = 0; i < rows.size(); ++i)
        rows[i] = char(i * 31 % 251);
    return rows;
}

class AgentProcessTest : public ::testing::Test {
protected:
    // Starts an agent on a new name of the test's (returned) with the stand-in preview in previewMode,
    // or the real one when it is empty; its log is appended to agent.log. adjust changes its environment.
    uid_t Launch(QProcess &agent, const QString &previewMode = {}, const QString &runtimeDir = {},
                 const std::function<void(QProcessEnvironment &)> &adjust = {})
    {
        EXPECT_TRUE(m_runtime.isValid());
        const uid_t nameUid = 3000000000u + uid_t(::getpid() % 1000000) * 16 + uid_t(m_nAgents++);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir.isEmpty() ? m_runtime.path() : runtimeDir);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("CORVANE_FAKE_PREVIEW_LOG"),
                   m_runtime.filePath(QStringLiteral("fake.log")));
        env.insert(QStringLiteral("CORVANE_FAKE_PREVIEW_MODE"), previewMode);
        if (adjust)
            adjust(env);
        agent.setProcessEnvironment(env);
        agent.setStandardErrorFile(m_runtime.filePath(QStringLiteral("agent.log")), QIODevice::Append);
        QStringList arguments{QStringLiteral("--name-uid"), QString::number(nameUid)};
        if (!previewMode.isEmpty())
            arguments << QStringLiteral("--preview")
                      << QStringLiteral(CORVANE_BINARY_DIR "/tests/agent/fake_preview");
        agent.start(QStringLiteral(CORVANE_BINARY_DIR "/corvane-agent"), arguments);
        EXPECT_TRUE(agent.waitForStarted());
        return nameUid;
    }
    void StartAgent(const QString &previewMode = {}, const QString &runtimeDir = {},
                    const std::function<void(QProcessEnvironment &)> &adjust = {})
    {
        m_nameUid = Launch(m_agent, previewMode, runtimeDir, adjust);
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

} // namespace agenttest
