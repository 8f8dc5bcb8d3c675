#include "CupsLog.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace cupslog {
namespace {

// One line per message: line breaks in the text would start lines CUPS reads with another meaning.
void Line(const char *prefix, const QString &text)
{
    QByteArray bytes = text.toUtf8();
    bytes.replace('\n', ' ').replace('\r', ' ');
    std::fprintf(stderr, "%s: %s\n", prefix, bytes.constData());
    std::fflush(stderr);
}

} // namespace

void Error(const QString &text)
{
    Line("ERROR", text);
}

void Warning(const QString &text)
{
    Line("WARNING", text);
}

void Info(const QString &text)
{
    Line("INFO", text);
}

void Debug(const QString &text)
{
    Line("DEBUG", text);
}

void WriteRaw(const char *line)
{
    const ssize_t ignored = ::write(STDERR_FILENO, line, std::strlen(line));
    static_cast<void>(ignored);
}

} // namespace cupslog
