// corvane-driver: a printer driver's side of one preview job, for integrators and for the end-to-end
// tests. See --help.
#include "DriverOptions.h"
#include "DriverSession.h"

#include "log/Log.h"

#include <QGuiApplication>

#include <csignal>
#include <cstdio>
#include <vector>

int main(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    DriverOptions options;
    QString error, help;
    bool parsed = false;
    {
        // The command line is read before any platform starts: --help and a wrong command line need
        // none, and a platform started as root outside a session makes Qt warn about XDG_RUNTIME_DIR.
        QCoreApplication reader(argc, argv);
        parsed = ParseDriverOptions(arguments, options, &help, &error);
    }
    if (!parsed) {
        if (!help.isEmpty()) {
            std::fputs(help.toUtf8().constData(), stdout);
            return 0;
        }
        std::fprintf(stderr, "corvane-driver: %s\nusage: corvane-driver [options]  (--help lists them)\n",
                     error.toUtf8().constData());
        return EXIT_USAGE;
    }
    if (argc < 2) {
        std::fputs("corvane-driver: nothing to do; try --demo or --help\n", stderr);
        return EXIT_USAGE;
    }

    // Rendering needs a QGuiApplication; it runs on the offscreen platform, given as an argument rather
    // than through the environment, which the preview inherits unchanged.
    std::vector<char *> qtArgs(argv, argv + argc);
    char platformFlag[] = "-platform";
    char platformName[] = "offscreen";
    qtArgs.insert(qtArgs.begin() + 1, {platformFlag, platformName});
    int qtArgc = static_cast<int>(qtArgs.size());
    qtArgs.push_back(nullptr);
    QGuiApplication application(qtArgc, qtArgs.data());
    std::signal(SIGPIPE, SIG_IGN);

    // The report: one line per event on stdout, read by tests and scripts as it comes; with
    // timestamps on the monotonic clock, so that other programs of the same run share its time line.
    Log::SetSink({STDOUT_FILENO, Log::Style::Program, QByteArray(), false, options.timestamps});
    CDriverSession session(options);
    return session.Run();
}
