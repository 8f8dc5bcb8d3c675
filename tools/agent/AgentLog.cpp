#include "AgentLog.h"

#include <cstdio>

void AgentLog(const QString &line)
{
    const QByteArray text = QByteArrayLiteral("corvane-agent: ") + line.toUtf8() + '\n';
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stderr);
    std::fflush(stderr);
}
