#include "DriverLog.h"

#include <cstdio>
#include <ctime>

namespace {

bool g_bTimestamps = false;

} // namespace

void SetDriverTimestamps(bool bOn)
{
    g_bTimestamps = bOn;
}

void Say(const QString &line)
{
    if (g_bTimestamps) {
        timespec now = {};
        clock_gettime(CLOCK_MONOTONIC, &now);
        std::printf("@%.3f ",
                    static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6);
    }
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}
