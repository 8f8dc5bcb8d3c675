#pragma once

#include <QString>

// The agent's log: one line per event on stderr, "corvane-agent: " first, written at once.
void AgentLog(const QString &line);
