#include "AgentLog.h"

#include <cstdio>

void AgentLog(const QString &line)
{
    // A title may hold line breaks; the log keeps one line per event.
    QString oneLine = line;
    for (QChar &c : oneLine) {
        if (c.unicode() < 0x20)
            c = u' ';
    }
    const QByteArray text = QByteArrayLiteral("corvane-agent: ") + oneLine.toUtf8() + '\n';
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stderr);
    std::fflush(stderr);
}

CRateLog::CRateLog(int windowMs)
{
    m_window.setSingleShot(true);
    m_window.setInterval(windowMs);
    QObject::connect(&m_window, &QTimer::timeout, [this] { Summary(); });
}

void CRateLog::Note(const QString &line)
{
    if (m_window.isActive()) {
        ++m_nQuiet;
        m_strLast = line;
        return;
    }
    AgentLog(line);
    m_window.start();
}

// Once a window ends: the count of what it kept quiet, and a new window while events still come.
void CRateLog::Summary()
{
    if (m_nQuiet == 0)
        return;
    AgentLog(QStringLiteral("%1 more in the last %2 s, the last: %3")
                 .arg(QString::number(m_nQuiet), QString::number(m_window.interval() / 1000), m_strLast));
    m_nQuiet = 0;
    m_strLast.clear();
    m_window.start();
}
