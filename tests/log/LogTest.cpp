// The levelled log: the lines each program's sink writes (CUPS's prefixes for the filter, a program's own
// prefix for the agent and the driver), one line per event, debug lines only when the sink asks.
#include "log/Log.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

namespace {

TEST(Log, LinesOfEachSink)
{
    using Log::Level;
    const Log::Sink cups{STDERR_FILENO, Log::Style::Cups, QByteArray(), false, false};
    const Log::Sink agent{STDERR_FILENO, Log::Style::Program, "corvane-agent: ", false, false};
    struct Case {
        const Log::Sink &sink;
        Level level;
        QString text;
        QByteArray line;
    } cases[] = {
        {cups, Level::Error, QStringLiteral("This queue cannot print: x."),
         "ERROR: This queue cannot print: x.\n"},
        {cups, Level::Warning, QStringLiteral("Cancelled"), "WARNING: Cancelled\n"},
        {cups, Level::Info, QStringLiteral("Printing"), "INFO: Printing\n"},
        {cups, Level::Debug, QStringLiteral("rows"), "DEBUG: rows\n"},
        {cups, Level::Warning, QStringLiteral("a\ntitle\r\tÄ"), "WARNING: a title  \xc3\x84\n"},
        {agent, Level::Error, QStringLiteral("job 7: refused"), "corvane-agent: job 7: refused\n"},
        {agent, Level::Info, QStringLiteral("\"two\nlines\""), "corvane-agent: \"two lines\"\n"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Log::Format(c.sink, c.level, c.text), c.line) << c.line.constData();

    const Log::Sink timed{STDOUT_FILENO, Log::Style::Program, QByteArray(), false, true};
    const QByteArray line = Log::Format(timed, Level::Info, QStringLiteral("opened after 3 ms"));
    EXPECT_TRUE(line.startsWith('@') && line.endsWith(" opened after 3 ms\n")) << line.constData();
    EXPECT_EQ(line.indexOf('.'), line.indexOf(' ') - 4) << "milliseconds with three decimals";
}

TEST(Log, DebugLinesOnlyWhenAsked)
{
    const int fd = ::memfd_create("log", MFD_CLOEXEC);
    for (const bool debug : {false, true}) {
        ASSERT_EQ(::ftruncate(fd, 0), 0);
        ASSERT_EQ(::lseek(fd, 0, SEEK_SET), 0);
        Log::SetSink({fd, Log::Style::Cups, QByteArray(), debug, false});
        Log::Debug(QStringLiteral("placed"));
        Log::Info(QStringLiteral("waiting"));
        Log::WriteRaw("INFO: The job was cancelled.\n");
        Log::SetSink({});
        char buffer[256] = {};
        ASSERT_EQ(::lseek(fd, 0, SEEK_SET), 0);
        const ssize_t n = ::read(fd, buffer, sizeof buffer - 1);
        EXPECT_EQ(QByteArray(buffer, int(n)), QByteArray(debug ? "DEBUG: placed\n" : "") +
                                                  "INFO: waiting\nINFO: The job was cancelled.\n");
    }
    ::close(fd);
}

} // namespace
