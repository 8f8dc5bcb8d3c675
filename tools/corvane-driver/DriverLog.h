#pragma once

#include <QString>

// The driver's report: one line per event on stdout, flushed at once (a test or a script reads it as
// it comes). With timestamps each line starts with "@<ms> ", the monotonic clock in milliseconds, so
// that other programs of the same run can be put on the same time line.
void SetDriverTimestamps(bool bOn);
void Say(const QString &line);
