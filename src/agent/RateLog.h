#pragma once
// The agent's log of events that anyone may cause in floods, at a bounded rate.

#include <QString>
#include <QTimer>

// Events that anyone may cause in floods (connections refused, connections that never send a job):
// the first is logged at once, the rest are counted and summed up in one line at most every window,
// so that the log grows and costs at a bounded rate whatever comes.
class CRateLog {
public:
    explicit CRateLog(int windowMs = 10000);
    void Note(const QString &line);

private:
    void Summary();

    QTimer m_window;
    int m_nQuiet = 0;
    QString m_strLast;
};
