// corvane-cups: the CUPS filter of a preview queue. It stands where the printer's raster filter stood,
// shows the job's raster to the printing user through their session agent, and runs the printer's
// filter when the user prints. See docs/cups.md.
#include "filter/FilterRun.h"
#include "log/Log.h"

#include <cstdlib>

namespace {

// An environment variable's value, or fallback when it is unset or empty.
QByteArray Variable(const char *name, const QByteArray &fallback)
{
    const char *value = std::getenv(name);
    return value != nullptr && *value != '\0' ? QByteArray(value) : fallback;
}

} // namespace

int main(int argc, char **argv)
{
    // The scheduler reads the filter's stderr by CUPS's prefixes; DEBUG lines only when the scheduler
    // passes CORVANE_DEBUG=1 (SetEnv in cups-files.conf).
    Log::SetSink({STDERR_FILENO, Log::Style::Cups, QByteArray(), Variable("CORVANE_DEBUG", "0") == "1"});
    FilterEnvironment environment;
    environment.ppd = Variable("PPD", QByteArray());
    environment.serverBin = Variable("CUPS_SERVERBIN", environment.serverBin);
    environment.tempDir = Variable("TMPDIR", environment.tempDir);
    CFilterRun::HandleSignals();
    CFilterRun run;
    return run.Run(argc, argv, environment, CFilterRun::Io());
}
