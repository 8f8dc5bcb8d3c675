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
