// corvane-agent: the session agent. Runs in the user's session, takes the jobs that the print filter
// hands over, shows each in a preview and passes the user's decision back. See --help.
#include "agent/Agent.h"
#include "log/Log.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <unistd.h>

int main(int argc, char **argv)
{
    Log::SetSink({STDERR_FILENO, Log::Style::Program, QByteArrayLiteral("corvane-agent: ")});
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("corvane-agent"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CORVANE_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Shows print jobs of Corvane preview queues in the preview before they reach the printer.\n"
        "Runs in the foreground until the session ends (SIGHUP), SIGTERM, or its display goes away;\n"
        "started with the session by its autostart entry. Without a display it does not start.\n"
        "Logs one line per event on stderr."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption preview(QStringLiteral("preview"),
                                     QStringLiteral("The preview program (default: corvane-preview beside "
                                                    "the agent, else on PATH)."),
                                     QStringLiteral("PATH"));
    const QCommandLineOption nameUid(QStringLiteral("name-uid"),
                                     QStringLiteral("Listen on the rendezvous name of UID instead of the own "
                                                    "uid (for tests that must not meet a real agent)."),
                                     QStringLiteral("UID"));
    parser.addOption(preview);
    parser.addOption(nameUid);
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "corvane-agent: %s (see --help)\n", qPrintable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("help-all")))
        parser.process(QCoreApplication::arguments()); // shows it with the toolkit's options and exits 0
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "corvane-agent: unexpected argument %s (see --help)\n",
                     qPrintable(parser.positionalArguments().first()));
        return 2;
    }

    CAgent::Options options;
    options.previewProgram = parser.value(preview);
    options.nameUid = ::geteuid();
    if (parser.isSet(nameUid)) {
        bool ok = false;
        options.nameUid = static_cast<uid_t>(parser.value(nameUid).toUInt(&ok));
        if (!ok) {
            std::fprintf(stderr, "corvane-agent: --name-uid takes a number (see --help)\n");
            return 2;
        }
    }
    CAgent agent(options);
    const int code = agent.Start();
    if (code >= 0)
        return code;
    return QCoreApplication::exec();
}
