// The levelled log: formats a line for the process's sink and writes it at once.
#include "log/Log.h"

#include <cerrno>
#include <cstring>
#include <ctime>

namespace Log {
namespace {

Sink g_sink;

const char *CupsPrefix(Level level)
{
    switch (level) {
    case Level::Debug:
        return "DEBUG: ";
    case Level::Info:
        return "INFO: ";
    case Level::Warning:
        return "WARNING: ";
    case Level::Error:
        break;
    }
    return "ERROR: ";
}

void WriteAll(int fd, const char *data, size_t length)
{
    while (length > 0) {
        const ssize_t w = ::write(fd, data, length);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return;
        data += w;
        length -= static_cast<size_t>(w);
    }
}

} // namespace

void SetSink(const Sink &sink)
{
    g_sink = sink;
}

const Sink &CurrentSink()
{
    return g_sink;
}

QByteArray Format(const Sink &sink, Level level, const QString &text)
{
    QByteArray line;
    if (sink.timestamps) {
        timespec now = {};
        clock_gettime(CLOCK_MONOTONIC, &now);
        line +=
            '@' +
            QByteArray::number(
                static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6, 'f', 3) +
            ' ';
    }
    line += sink.style == Style::Cups ? QByteArray(CupsPrefix(level)) : sink.prefix;
    QByteArray body = text.toUtf8();
    for (char &c : body) {
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    }
    return line + body + '\n';
}

void Write(Level level, const QString &text)
{
    if (level == Level::Debug && !g_sink.debug)
        return;
    const QByteArray line = Format(g_sink, level, text);
    WriteAll(g_sink.fd, line.constData(), static_cast<size_t>(line.size()));
}

void Debug(const QString &text)
{
    Write(Level::Debug, text);
}

void Info(const QString &text)
{
    Write(Level::Info, text);
}

void Warning(const QString &text)
{
    Write(Level::Warning, text);
}

void Error(const QString &text)
{
    Write(Level::Error, text);
}

void WriteRaw(const char *line)
{
    WriteAll(g_sink.fd, line, std::strlen(line));
}

} // namespace Log
