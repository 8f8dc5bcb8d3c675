// corvane-queue: preview queues beside a machine's printer queues.
#include "CupsClient.h"
#include "QueueCommands.h"

#include <QByteArrayList>

#include <cstdio>
#include <cstring>

namespace {

constexpr char kHelp[] =
    "usage: corvane-queue add QUEUE [--name NAME]\n"
    "       corvane-queue remove NAME\n"
    "       corvane-queue list\n"
    "Preview queues: a print job sent to a preview queue is shown in the print preview of the person who\n"
    "printed it, and reaches the printer only when they choose Print.\n"
    "  add QUEUE     adds a preview queue beside the printer queue QUEUE: the same device, QUEUE's PPD\n"
    "                made a preview PPD (as corvane-ppd makes it), QUEUE's location, access, error\n"
    "                policy and server-side defaults. QUEUE itself stays as it is. QUEUE may have a CUPS\n"
    "                raster driver, a PDF or PostScript driver (Foomatic), or be driverless (lpadmin -m\n"
    "                everywhere); a raw queue (no PPD) is refused.\n"
    "  --name NAME   the preview queue's name (default: QUEUE-preview)\n"
    "  remove NAME   removes the preview queue NAME; any other queue is refused\n"
    "  list          each preview queue and the queue it previews, separated by a tab\n"
    "  -h, --help    show this text\n"
    "Adding and removing queues needs CUPS's administrator rights: run as root (sudo) or as a member of\n"
    "the lpadmin group. The scheduler is the one CUPS_SERVER or client.conf names.\n"
    "Exit status: 0 done, 1 refused (the reason on standard error), 2 wrong command line.\n";

int Usage()
{
    std::fputs("usage: corvane-queue add QUEUE [--name NAME] | remove NAME | list   (--help tells more)\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    QByteArrayList args;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kHelp, stdout);
            return 0;
        }
        args.append(QByteArray(argv[i]));
    }
    const bool add = args.size() >= 2 && args[0] == "add" && !args[1].startsWith('-') &&
                     (args.size() == 2 || (args.size() == 4 && args[2] == "--name"));
    const bool remove = args.size() == 2 && args[0] == "remove" && !args[1].startsWith('-');
    const bool list = args.size() == 1 && args[0] == "list";
    if (!add && !remove && !list)
        return Usage();

    CCupsClient cups;
    QString why;
    if (!cups.Connect(&why)) {
        std::fprintf(stderr, "corvane-queue: %s\n", why.toLocal8Bit().constData());
        return 1;
    }
    CQueueCommands commands(cups);
    if (add)
        return commands.Add(args[1], args.size() == 4 ? args[3] : QByteArray());
    if (remove)
        return commands.Remove(args[1]);
    return commands.List();
}
