// Finding the preview program and starting it with its end of the link.
#include "driverside/PreviewStart.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

QString ErrnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

QString FindPreview(const QString &given)
{
    if (!given.isEmpty())
        return given;
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/corvane-preview");
    if (QFileInfo(beside).isExecutable())
        return beside;
    return QStandardPaths::findExecutable(QStringLiteral("corvane-preview"));
}

bool StartPreview(const PreviewCommand &command, PreviewProcess &process, QString *why)
{
    int pair[2];
    const int type = (command.bStream ? SOCK_STREAM : SOCK_SEQPACKET) | SOCK_CLOEXEC;
    if (::socketpair(AF_UNIX, type, 0, pair) != 0) {
        if (why != nullptr)
            *why = QStringLiteral("socketpair: ") + ErrnoText();
        return false;
    }
    // Descriptors 0 to 2 never name the link (a program started with them closed gets them back
    // from socketpair), so the preview's end is moved to 3 or above.
    int childFd = pair[1];
    if (childFd < 3) {
        childFd = ::fcntl(pair[1], F_DUPFD_CLOEXEC, 3);
        ::close(pair[1]);
        if (childFd < 0) {
            if (why != nullptr)
                *why = QStringLiteral("fcntl: ") + ErrnoText();
            ::close(pair[0]);
            return false;
        }
    }

    QStringList arguments;
    if (!command.jobFile.isEmpty())
        arguments << QStringLiteral("/INI=") + command.jobFile;
    if (command.bHwnd)
        arguments << QStringLiteral("/HWND=") + (command.hwndText.isEmpty()
                                                     ? QString::number(childFd, 16).toUpper()
                                                     : command.hwndText);
    arguments << command.extraArguments;

    // Everything the child needs is prepared before fork(): after it only async-signal-safe calls run.
    std::vector<QByteArray> storage;
    storage.push_back(QFile::encodeName(command.program));
    for (const QString &argument : arguments)
        storage.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    const QByteArray output = QFile::encodeName(command.outputFile);

    const pid_t starter = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        if (why != nullptr)
            *why = QStringLiteral("fork: ") + ErrnoText();
        ::close(pair[0]);
        ::close(childFd);
        return false;
    }
    if (pid == 0) {
        for (int signal : {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGCHLD})
            ::signal(signal, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        // A starter that died before the request was made is seen by the parent's pid.
        if (command.bEndWithStarter && (::prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || ::getppid() != starter))
            ::_exit(127);
        if (command.bInherit)
            ::fcntl(childFd, F_SETFD, 0); // the preview inherits its end of the pair
        if (!output.isEmpty()) {
            const int fd = ::open(output.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (fd >= 0) {
                ::dup2(fd, 1);
                ::dup2(fd, 2);
            }
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(childFd);
    ::fcntl(pair[0], F_SETFL, ::fcntl(pair[0], F_GETFL) | O_NONBLOCK);
    process.pid = pid;
    process.fd = pair[0];
    process.arguments = arguments;
    return true;
}
