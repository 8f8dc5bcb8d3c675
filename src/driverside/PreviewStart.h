#pragma once
// How a driver starts the preview: the socket pair, the command line and the process.

#include <QString>
#include <QStringList>

#include <sys/types.h>

// How a driver starts the preview (docs/driver-protocol.md, "The handle"): a connected socket pair,
// one end inherited by corvane-preview and named by /HWND=<descriptor in hexadecimal>, the job file
// named by /INI=.
struct PreviewCommand {
    QString program; // the preview's path (see FindPreview)
    QString jobFile; // the /INI= value; no /INI= when empty
    bool bHwnd = true;
    QString hwndText;           // given: written after /HWND= instead of the descriptor's number
    QStringList extraArguments; // after /INI= and /HWND=
    bool bStream = false;       // SOCK_STREAM instead of SOCK_SEQPACKET
    QString outputFile;         // given: the preview's stdout and stderr go there
    bool bInherit = true; // false: the preview's end stays close-on-exec (a driver's mistake, for tests)
    // The preview gets SIGTERM when the starting process ends, however it ends (even SIGKILL): a
    // preview whose driver is gone has nobody left to print for, and closes as on a close request.
    bool bEndWithStarter = false;
};

struct PreviewProcess {
    pid_t pid = -1;
    int fd = -1;           // the driver's end: non-blocking, close-on-exec
    QStringList arguments; // as passed, for the log
};

// given when it is not empty; else corvane-preview beside the running program; else on PATH.
// Empty when there is none.
QString FindPreview(const QString &given = {});

// Makes the pair and starts the preview with its end. The child gets the default disposition of the
// signals the preview handles and an empty signal mask, and inherits no other descriptor of the
// caller's that is close-on-exec. False with the reason when the pair or the process cannot be made
// (an exec that fails shows as a child that exits with 127 at once).
bool StartPreview(const PreviewCommand &command, PreviewProcess &process, QString *why);
