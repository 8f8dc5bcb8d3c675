#pragma once

#include <QString>

// How corvane-cups talks to the scheduler, in one place. CUPS reads a filter's stderr line by line and
// acts on the prefix:
//   ERROR:   logged as an error; stays as the printer's state message after the job
//   WARNING: logged as a warning; stays as the job's state message (job-printer-state-message) after
//            the job, so `lpstat -l` and the web pages show why nothing or something was printed
//   INFO:    the printer's state message and the job's status while the job runs; in the log at debug
//            level
//   DEBUG:   only in a debug log
// and on the exit status: 0 ends the job as completed; any other status stops the job ("Job stopped
// due to filter errors"), which a user's cancel, a missing session or bad input must never cause.
namespace cupslog {

enum Exit : int {
    EXIT_DONE = 0,   // the job ends as completed, whatever was or was not printed
    EXIT_BROKEN = 1, // the queue itself is broken (no printer filter to run): the job is kept, stopped
};

void Error(const QString &text);
void Warning(const QString &text);
void Info(const QString &text);
void Debug(const QString &text);

// For the signal handler: writes an already formatted "PREFIX: text\n" line with write(2) only.
void WriteRaw(const char *line);

} // namespace cupslog
