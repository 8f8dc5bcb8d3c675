// The agent's log of flooding events: the first at once, the rest summed up once a window.
#include "RateLog.h"

#include "log/Log.h"

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
    Log::Info(line);
    m_window.start();
}

// Once a window ends: the count of what it kept quiet, and a new window while events still come.
void CRateLog::Summary()
{
    if (m_nQuiet == 0)
        return;
    Log::Info(QStringLiteral("%1 more in the last %2 s, the last: %3")
                  .arg(QString::number(m_nQuiet), QString::number(m_window.interval() / 1000), m_strLast));
    m_nQuiet = 0;
    m_strLast.clear();
    m_window.start();
}
