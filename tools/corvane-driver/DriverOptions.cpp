// Parsing corvane-driver's command line.
#include "DriverOptions.h"

#include <QCommandLineParser>

namespace {

bool ToInt(const QString &text, int minimum, int &out)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < minimum)
        return false;
    out = value;
    return true;
}

// "accept", "refuse", "refuse-once"; for results also "delay:MS" (accept after MS).
bool ToPolicy(const QString &text, ReplyPolicy &policy, int *delayMs)
{
    if (text == u"accept")
        policy = ReplyPolicy::Accept;
    else if (text == u"refuse")
        policy = ReplyPolicy::Refuse;
    else if (text == u"refuse-once")
        policy = ReplyPolicy::RefuseOnce;
    else if (delayMs && text.startsWith(u"delay:")) {
        policy = ReplyPolicy::Accept;
        return ToInt(text.mid(6), 0, *delayMs);
    } else
        return false;
    return true;
}

// "3:0,5:0,6:1": count:flag pairs; a count may be any 64-bit value, negative ones as two's complement.
bool ToReports(const QString &text, QList<PageReport> &reports)
{
    reports.clear();
    const QStringList items = text.split(u',', Qt::SkipEmptyParts);
    for (const QString &item : items) {
        const QStringList parts = item.split(u':');
        if (parts.size() != 2)
            return false;
        bool okCount = false, okDone = false;
        PageReport report;
        report.count = parts[0].startsWith(u'-') ? static_cast<quint64>(parts[0].toLongLong(&okCount))
                                                 : parts[0].toULongLong(&okCount, 0);
        report.done = parts[1].toLongLong(&okDone, 0);
        if (!okCount || !okDone)
            return false;
        reports.append(report);
    }
    return !reports.isEmpty();
}

} // namespace

bool ParseDriverOptions(const QStringList &arguments, DriverOptions &options, QString *help, QString *why)
{
    QString ignored;
    if (why == nullptr)
        why = &ignored;
    QString noHelp;
    if (help == nullptr)
        help = &noHelp;
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "The reference printer driver for corvane-preview. It renders sample label pages (1-bit BMPs),\n"
        "writes the job file, starts the preview with a socket pair, reports the pages while it\n"
        "spools, answers the print or cancel result and prints what happened.\n"
        "Exit code: 0 print, 1 cancel, 2 closed without a result, 3 the preview ended without\n"
        "opening a window, 4 the preview died or broke the protocol, 64 bad usage or set-up."));
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")},
                                        QStringLiteral("Show this help."));
    parser.addOption(helpOption);
    struct Opt {
        const char16_t *name;
        const char16_t *value; // null: a flag
        const char16_t *text;
    };
    static const Opt table[] = {
        {u"demo", nullptr, u"A 5-page job reported every 400 ms; print or cancel it yourself."},
        {u"preview", u"PATH", u"The corvane-preview to start (default: next to this program)."},
        {u"dir", u"DIR", u"Folder for the pages and the job file (default: a new temporary one)."},
        {u"name", u"BASE", u"Base name of the page files (default: label)."},
        {u"doc", u"NAME", u"Document name shown in the title."},
        {u"pages", u"N", u"Pages to render (default: 5)."},
        {u"dpi", u"DPI", u"Printer resolution (default: 180)."},
        {u"tape", u"MM", u"Tape width in millimetres (default: 24)."},
        {u"copies", u"N", u"Copies (default: 1)."},
        {u"orientation", u"1|2", u"1: the tape runs down the screen, 2: across (default: 1)."},
        {u"reports", u"LIST", u"Explicit page reports, e.g. 3:0,5:0,6:1 (count:finished)."},
        {u"done-at", u"K|never|last", u"Which report of 1..N carries the finished flag (default: last)."},
        {u"no-reports", nullptr, u"Send no page report."},
        {u"report-delay", u"MS", u"Delay between page reports (default: 300)."},
        {u"first-report", u"MS", u"Delay from the announcement to the first report (default: 200)."},
        {u"send-reports", nullptr, u"Send page reports and wait for the reply instead of posting."},
        {u"result", u"POLICY", u"Answer to a result: accept, refuse, refuse-once, delay:MS."},
        {u"ended", u"POLICY", u"Answer to the end notification: accept, refuse, refuse-once."},
        {u"ended-close", nullptr,
         u"On the end notification, post a close request first and answer 300 ms later."},
        {u"close-after", u"MS", u"Ask the preview to close MS after its announcement (after any garbage)."},
        {u"close-at-start", nullptr, u"Ask the preview to close before it has announced itself."},
        {u"send-close", nullptr, u"Send the close request (wait for the reply) instead of posting."},
        {u"die-after", u"MS", u"The driver dies MS after the announcement, leaving the preview."},
        {u"garbage", u"KIND:N",
         u"After the announcement, two rounds of random:N packets, unknown:N "
         u"messages or flood:N page reports, each followed by a probe send; "
         u"prints the probe's answer time and the preview's memory."},
        {u"stream", nullptr, u"Use a SOCK_STREAM socket pair instead of SOCK_SEQPACKET."},
        {u"no-inherit", nullptr,
         u"Leave the preview's end close-on-exec (as Python's socketpair does): /HWND= then names "
         u"a descriptor the preview does not have."},
        {u"no-ini", nullptr, u"Start the preview without /INI=."},
        {u"no-hwnd", nullptr, u"Start the preview without /HWND=."},
        {u"hwnd", u"TEXT", u"Pass /HWND=TEXT instead of the socket's number."},
        {u"omit-key", u"KEY", u"Leave this key out of the job file (e.g. Copies)."},
        {u"preview-output", u"FILE", u"Send the preview's stdout and stderr to FILE."},
        {u"preview-arg", u"ARG", u"An extra argument for the preview (repeatable)."},
        {u"keep-files", nullptr, u"Leave whatever the preview did not delete."},
        {u"timestamps", nullptr, u"Start each report line with @<monotonic ms>."},
    };
    for (const Opt &opt : table) {
        if (opt.value)
            parser.addOption(QCommandLineOption(QString::fromUtf16(opt.name), QString::fromUtf16(opt.text),
                                                QString::fromUtf16(opt.value)));
        else
            parser.addOption(QCommandLineOption(QString::fromUtf16(opt.name), QString::fromUtf16(opt.text)));
    }

    QStringList withProgram = arguments;
    withProgram.prepend(QStringLiteral("corvane-driver"));
    if (!parser.parse(withProgram)) {
        *why = parser.errorText();
        return false;
    }
    if (parser.isSet(helpOption)) {
        *help = parser.helpText();
        return false;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *why = QStringLiteral("unexpected argument: ") + parser.positionalArguments().first();
        return false;
    }

    auto value = [&](const char16_t *name) { return parser.value(QString::fromUtf16(name)); };
    auto isSet = [&](const char16_t *name) { return parser.isSet(QString::fromUtf16(name)); };
    auto intOption = [&](const char16_t *name, int minimum, int &out) {
        if (!isSet(name))
            return true;
        if (ToInt(value(name), minimum, out))
            return true;
        *why = QStringLiteral("bad value for --") + QString::fromUtf16(name);
        return false;
    };

    if (isSet(u"demo")) {
        options.pages = 5;
        options.reportDelayMs = 400;
    }
    options.previewPath = value(u"preview");
    options.jobDir = value(u"dir");
    if (isSet(u"name"))
        options.baseName = value(u"name");
    if (isSet(u"doc"))
        options.docName = value(u"doc");
    if (!intOption(u"pages", 1, options.pages) || !intOption(u"dpi", 50, options.dpi) ||
        !intOption(u"tape", 3, options.tapeWidthMm) || !intOption(u"copies", 1, options.copies) ||
        !intOption(u"orientation", 1, options.orientation) ||
        !intOption(u"report-delay", 0, options.reportDelayMs) ||
        !intOption(u"first-report", 0, options.firstReportMs) ||
        !intOption(u"close-after", 0, options.closeAfterMs) ||
        !intOption(u"die-after", 0, options.dieAfterMs))
        return false;
    if (options.orientation > 2 || options.pages > 999 || options.dpi > 1200 || options.tapeWidthMm > 200) {
        *why =
            QStringLiteral("value out of range (orientation 1..2, pages 1..999, dpi 50..1200, tape 3..200)");
        return false;
    }
    if (isSet(u"reports")) {
        if (!ToReports(value(u"reports"), options.reports)) {
            *why = QStringLiteral("bad --reports list (count:finished,...)");
            return false;
        }
        options.explicitReports = true;
    }
    if (isSet(u"no-reports")) {
        options.reports.clear();
        options.explicitReports = true;
    }
    if (isSet(u"done-at")) {
        const QString text = value(u"done-at");
        if (text == u"never")
            options.doneAt = 0;
        else if (text == u"last")
            options.doneAt = -1;
        else if (!ToInt(text, 1, options.doneAt)) {
            *why = QStringLiteral("bad value for --done-at");
            return false;
        }
    }
    options.sendReports = isSet(u"send-reports");
    if (isSet(u"result") && !ToPolicy(value(u"result"), options.resultPolicy, &options.resultDelayMs)) {
        *why = QStringLiteral("bad --result policy");
        return false;
    }
    if (isSet(u"ended") && !ToPolicy(value(u"ended"), options.endedPolicy, nullptr)) {
        *why = QStringLiteral("bad --ended policy");
        return false;
    }
    options.closeAtStart = isSet(u"close-at-start");
    options.sendClose = isSet(u"send-close");
    if (isSet(u"garbage")) {
        const QStringList parts = value(u"garbage").split(u':');
        const QString kind = parts.value(0);
        options.garbage = kind == u"random"    ? GarbageKind::Random
                          : kind == u"unknown" ? GarbageKind::Unknown
                          : kind == u"flood"   ? GarbageKind::Flood
                                               : GarbageKind::None;
        if (options.garbage == GarbageKind::None || parts.size() != 2 ||
            !ToInt(parts[1], 1, options.garbageCount)) {
            *why = QStringLiteral("bad --garbage (random:N, unknown:N or flood:N)");
            return false;
        }
    }
    options.endedClose = isSet(u"ended-close");
    options.stream = isSet(u"stream");
    options.noInherit = isSet(u"no-inherit");
    options.noIni = isSet(u"no-ini");
    options.noHwnd = isSet(u"no-hwnd");
    options.hwndText = value(u"hwnd");
    options.omitKey = value(u"omit-key");
    options.previewOutput = value(u"preview-output");
    options.previewArgs = parser.values(QStringLiteral("preview-arg"));
    options.keepFiles = isSet(u"keep-files");
    options.timestamps = isSet(u"timestamps");
    return true;
}
