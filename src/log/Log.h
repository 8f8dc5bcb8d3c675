#pragma once
// The log of corvane-cups, corvane-agent and the reference driver: one line per event, in four levels,
// written to the program's sink in one write(2) each, so that lines of several processes on one file
// never mix.

#include <QByteArray>
#include <QString>

#include <unistd.h>

namespace Log {

enum class Level { Debug, Info, Warning, Error };

// How a line starts.
//   Cups:    the level as the scheduler reads a filter's stderr:
//            ERROR:   logged as an error; stays as the printer's state message after the job
//            WARNING: logged as a warning; stays as the job's state message (job-printer-state-message)
//                     after the job, so `lpstat -l` and the web pages show why nothing or something was
//                     printed
//            INFO:    the printer's state message and the job's status while the job runs; in the log
//                     at debug level
//            DEBUG:   only in a debug log
//   Program: the sink's prefix, whatever the level ("corvane-agent: ").
enum class Style { Cups, Program };

struct Sink {
    int fd = STDERR_FILENO;
    Style style = Style::Program;
    QByteArray prefix;       // Program style: the start of every line
    bool debug = false;      // Debug lines are written; otherwise they are dropped
    bool timestamps = false; // "@<ms> " first, the monotonic clock in milliseconds
};

// The process's sink; until set, Program style on stderr without a prefix.
void SetSink(const Sink &sink);
const Sink &CurrentSink();

// One line; characters below U+0020 (line breaks of a title) become blanks, so that one event stays
// one line that no reader takes for two.
void Write(Level level, const QString &text);
void Debug(const QString &text);
void Info(const QString &text);
void Warning(const QString &text);
void Error(const QString &text);

// For a signal handler: an already formatted line ("INFO: ...\n") to the sink, with write(2) only.
void WriteRaw(const char *line);

// The line Write writes, without writing it (for the tests of a sink's shape).
QByteArray Format(const Sink &sink, Level level, const QString &text);

} // namespace Log
