#pragma once

// The real corvane-preview under Xvfb (or weston), started by corvane-driver over a real socket pair;
// the tests read the window through the accessibility bus and press its buttons with real input
// (xdotool) or, where there is none from outside, through the accessibility bus.
#include "AtSpiClient.h"
#include "DriverRun.h"
#include "XSession.h"

#include "res/Resource.h"
#include "res/StringTable.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QStringList>
#include <QThread>

#include <algorithm>
#include <memory>

// Failure messages show texts as text.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

class E2eFixture : public ::testing::Test {
protected:
    void SetUp() override { StartSession(CXSession::Instance(), "a virtual X server"); }

    // Skips when the session's programs are not installed, fails when it did not come up; else
    // connects to its accessibility bus.
    void StartSession(const CTestSession &session, const char *what)
    {
        if (!session.Missing().isEmpty())
            GTEST_SKIP() << "end-to-end tests need " << what << ": " << session.Missing().toStdString();
        ASSERT_TRUE(session.Broken().isEmpty()) << session.Broken().toStdString();
        m_atspi = std::make_unique<CAtSpiClient>(
            session.Environment().value(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")));
        ASSERT_TRUE(m_atspi->IsConnected()) << "no accessibility bus";
    }

    // Presses the middle of a node with the pointer, once the window manager has placed its window
    // (the node's place on the screen has stopped changing).
    bool Click(const AccessibleNode &node)
    {
        QRect r = m_atspi->Extents(node);
        for (int i = 0; i < 50; ++i) {
            QThread::msleep(60);
            const QRect again = m_atspi->Extents(node);
            if (again == r && !r.isEmpty())
                break;
            r = again;
        }
        if (r.isEmpty())
            return false;
        const QPoint c = r.center();
        return RunInSession(QStringLiteral("xdotool"),
                            {QStringLiteral("mousemove"), QString::number(c.x()), QString::number(c.y()),
                             QStringLiteral("sleep"), QStringLiteral("0.05"), QStringLiteral("click"),
                             QStringLiteral("1")}) == 0;
    }

    // A toolbar button, by its label (the tooltip text of the command's string).
    bool FindCommand(pid_t pid, int nID, AccessibleNode &node)
    {
        const QString label = ResTooltipLabel(nID);
        return m_atspi->WaitFor(
            pid, [&](const AccessibleNode &n) { return n.name == label && n.role == ATSPI_ROLE_PUSH_BUTTON; },
            node);
    }
    bool ClickCommand(pid_t pid, int nID)
    {
        AccessibleNode node;
        return FindCommand(pid, nID, node) && Click(node);
    }
    // Presses a toolbar button as assistive technology does, without the pointer.
    bool PressCommand(pid_t pid, int nID)
    {
        AccessibleNode node;
        return FindCommand(pid, nID, node) && m_atspi->Press(node);
    }

    // Waits for a message box whose text is text and presses the button with one of the names.
    bool AnswerBox(pid_t pid, const QString &text, const QStringList &buttonNames, int nMs = 10000)
    {
        AccessibleNode label;
        if (!m_atspi->WaitFor(
                pid, [&](const AccessibleNode &n) { return n.name == text; }, label, nMs))
            return false;
        // Pressed again while the box is still there: a press that came before the box could take input
        // is lost.
        for (int attempt = 0; attempt < 4; ++attempt) {
            AccessibleNode button;
            if (!m_atspi->WaitFor(
                    pid,
                    [&](const AccessibleNode &n) {
                        return n.window == label.window && n.role == ATSPI_ROLE_PUSH_BUTTON &&
                               buttonNames.contains(n.name, Qt::CaseInsensitive);
                    },
                    button, 3000))
                return attempt > 0; // gone after the last press
            if (!Click(button))
                return false;
            QThread::msleep(200);
            const QList<AccessibleNode> nodes = m_atspi->Tree(pid);
            if (std::none_of(nodes.begin(), nodes.end(),
                             [&](const AccessibleNode &n) { return n.path == label.path; }))
                return true;
        }
        return false;
    }
    bool AnswerYes(pid_t pid, const QString &text)
    {
        return AnswerBox(pid, text,
                         {QStringLiteral("Yes"), QStringLiteral("はい"), QStringLiteral("はい(Y)")});
    }
    bool AnswerNo(pid_t pid, const QString &text)
    {
        return AnswerBox(pid, text,
                         {QStringLiteral("No"), QStringLiteral("いいえ"), QStringLiteral("いいえ(N)")});
    }
    bool AnswerOk(pid_t pid, const QString &text) { return AnswerBox(pid, text, {QStringLiteral("OK")}); }

    // The page pane's text once it reads expected (waits up to nMs); else what it last read.
    QString WaitForPagePane(pid_t pid, const QString &expected, int nMs = 10000)
    {
        AccessibleNode node;
        const QString label = LoadResString(ID_INDICATOR_PAGE);
        if (m_atspi->WaitFor(
                pid, [&](const AccessibleNode &n) { return n.name == expected; }, node, nMs))
            return node.name;
        m_atspi->WaitFor(
            pid, [&](const AccessibleNode &n) { return n.name.startsWith(label); }, node, 100);
        return node.name;
    }

    bool WaitForWindow(pid_t pid)
    {
        AccessibleNode node;
        const QString label = ResTooltipLabel(ID_FILE_PRINT);
        return m_atspi->WaitFor(
            pid, [&](const AccessibleNode &n) { return n.name == label; }, node, 15000);
    }

    // What the accessibility bus shows of the preview, for failure messages.
    std::string Dump(pid_t pid)
    {
        QString text;
        const QList<AccessibleNode> nodes = m_atspi->Tree(pid);
        for (const AccessibleNode &n : nodes)
            text += QStringLiteral("  [%1] %2 (%3)\n").arg(n.role).arg(n.name, n.window);
        return text.toStdString();
    }

    // The job folder the driver reported ("job: DIR/label.ini ...").
    static QString JobDir(CDriverRun &run)
    {
        QRegularExpressionMatch match;
        if (!run.WaitForLine(QStringLiteral("^job: (.*)/label\\.ini "), 5000, &match))
            return {};
        return match.captured(1);
    }
    static QStringList FilesIn(const QString &dir) { return QDir(dir).entryList(QDir::Files, QDir::Name); }

    std::unique_ptr<CAtSpiClient> m_atspi;
};
