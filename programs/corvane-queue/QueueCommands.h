#pragma once
// The commands of corvane-queue.

#include <QByteArray>
#include <QString>

class CCupsClient;

// The commands of corvane-queue. Each returns the exit status: 0 done, 1 refused (with one line on
// standard error). None of them changes a queue that is not a preview queue.
class CQueueCommands {
public:
    explicit CQueueCommands(CCupsClient &cups) : m_cups(cups) {}

    // A preview queue name beside queue: same device, the queue's PPD made a preview PPD, its defaults.
    int Add(const QByteArray &queue, const QByteArray &name);
    // Removes the preview queue name; refuses any other queue.
    int Remove(const QByteArray &name);
    // Each preview queue and the queue it wraps, one per line, separated by a tab.
    int List();

    // Why name cannot name a CUPS queue, or empty when it can.
    static QString NameProblem(const QByteArray &name);

private:
    CCupsClient &m_cups;
};
