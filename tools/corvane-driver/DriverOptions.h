#pragma once
// The command-line options of corvane-driver.

#include <QList>
#include <QString>
#include <QStringList>

// One WM_PREVIEW_PAGES report: the count and the spooling-finished flag, as the driver sends them.
struct PageReport {
    quint64 count = 0;
    qint64 done = 0;
};

// How the driver answers a result or the end notification.
enum class ReplyPolicy { Accept, Refuse, RefuseOnce };

// Garbage the driver sends once the preview has announced itself, to show that the preview stays
// responsive: random packets, unknown messages and kinds, or a flood of page reports.
enum class GarbageKind { None, Random, Unknown, Flood };

// Everything corvane-driver can be told on its command line.
struct DriverOptions {
    QString previewPath; // empty: corvane-preview next to the driver, else on PATH
    QString jobDir;      // empty: a new temporary folder
    QString baseName = QStringLiteral("label");
    QString docName = QStringLiteral("サンプルラベル");
    int pages = 5;
    int dpi = 180;
    int tapeWidthMm = 24;
    int copies = 1;
    int orientation = 1;

    // Page reports: either an explicit list, or 1..pages with the finished flag on report doneAt
    // (0: never; -1: the last one).
    QList<PageReport> reports;
    bool explicitReports = false;
    int doneAt = -1;
    int reportDelayMs = 300;
    int firstReportMs = 200;
    bool sendReports = false; // send (wait for the reply) instead of post

    ReplyPolicy resultPolicy = ReplyPolicy::Accept;
    int resultDelayMs = 0;
    ReplyPolicy endedPolicy = ReplyPolicy::Accept;
    bool endedClose = false; // a close request posted while the end notification waits for its answer

    int closeAfterMs = -1;     // after the announcement; -1: never
    bool closeAtStart = false; // a close request before the preview has announced anything
    bool sendClose = false;    // send the close request instead of posting it
    int dieAfterMs = -1;       // the driver dies this long after the announcement

    GarbageKind garbage = GarbageKind::None;
    int garbageCount = 0;

    bool stream = false;    // SOCK_STREAM instead of SOCK_SEQPACKET
    bool noInherit = false; // the preview's end stays close-on-exec: its number names nothing there
    bool noIni = false;
    bool noHwnd = false;
    QString hwndText;        // replaces the socket's number on the command line
    QString omitKey;         // leaves one key out of the job file
    QString previewOutput;   // the preview's stdout and stderr go to this file
    QStringList previewArgs; // added after /INI= and /HWND=
    bool keepFiles = false;  // leave what the preview left behind
    bool timestamps = false; // each report line starts with the monotonic time
};

// Parses the command line (arguments without the program name). On failure returns false with the
// message in why; with --help or --version, returns false with the text in help (why stays empty).
bool ParseDriverOptions(const QStringList &arguments, DriverOptions &options, QString *help, QString *why);
