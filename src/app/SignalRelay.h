#pragma once
// SIGTERM, SIGINT and SIGHUP relayed to the event loop through a self-pipe.

#include <functional>

// SIGTERM, SIGINT and SIGHUP end the preview as the driver's close request does. The handlers only
// note the signal (async-signal-safe, a self-pipe); the event loop, or a send waiting for the driver,
// takes it from there.
class CSignalRelay {
public:
    // Installs the handlers and ignores SIGPIPE. Safe before a QCoreApplication exists; once per process.
    static void Install();
    // A signal arrived and has not been taken yet.
    static bool Pending();
    // Readable while a signal is pending (a waiting send watches it); -1 before Install.
    static int WakeFd();
    // Takes the pending signal: Pending() is false afterwards.
    static void Take();
    // Calls handler from the event loop when a signal has come, after taking it; signals that come
    // before the loop gets to them make one call (needs a QCoreApplication).
    static void SetHandler(std::function<void()> handler);
};
