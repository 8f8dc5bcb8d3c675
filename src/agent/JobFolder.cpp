// Making, locking and removing a job's private folder, and clearing folders left behind.
#include "JobFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Attempts at a new folder when the one just made was taken by an agent clearing left folders.
constexpr int kMakeTries = 8;

QString ErrnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// $XDG_RUNTIME_DIR/corvane, made when missing. It must be a folder of ours that nobody else can
// enter: the runtime folder is the user's own, but a name left there by someone else is not used.
bool RuntimeBase(QByteArray &base, QString *why)
{
    base = qgetenv("XDG_RUNTIME_DIR") + "/corvane";
    if (::mkdir(base.constData(), 0700) != 0 && errno != EEXIST) {
        *why = QStringLiteral("cannot create %1: %2").arg(QFile::decodeName(base), ErrnoText());
        return false;
    }
    struct stat info {};
    if (::lstat(base.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) {
        *why = QStringLiteral("%1 is not a folder of this user").arg(QFile::decodeName(base));
        return false;
    }
    if ((info.st_mode & 0777) != 0700 && ::chmod(base.constData(), 0700) != 0) {
        *why = QStringLiteral("cannot make %1 private: %2").arg(QFile::decodeName(base), ErrnoText());
        return false;
    }
    return true;
}

// The folder that holds the job folders and the start of their names.
bool NamePrefix(QByteArray &prefix, QString *why)
{
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        prefix = QByteArrayLiteral("/tmp/corvane-job-");
        return true;
    }
    QByteArray base;
    if (!RuntimeBase(base, why))
        return false;
    prefix = base + "/job-";
    return true;
}

// Removes the files in the folder, then the folder.
void RemoveFolder(const QString &path)
{
    QDir dir(path);
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names)
        dir.remove(name);
    QDir().rmdir(path);
}

} // namespace

JobFolder MakeJobFolder(quint32 jobId, QString *why)
{
    QByteArray prefix;
    if (!NamePrefix(prefix, why))
        return {};
    for (int tried = 0; tried < kMakeTries; ++tried) {
        QByteArray pattern = prefix + QByteArray::number(jobId) + "-XXXXXX";
        // mkdtemp makes the folder with mode 0700 under a name nobody could have taken before.
        if (::mkdtemp(pattern.data()) == nullptr) {
            *why = QStringLiteral("cannot create a job folder %1: %2")
                       .arg(QFile::decodeName(pattern), ErrnoText());
            return {};
        }
        const int fd = ::open(pattern.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return {QFile::decodeName(pattern) + u'/', fd};
        // Taken in the moment between mkdtemp and the lock by an agent clearing left folders, which
        // removes it: another name.
        if (fd >= 0)
            ::close(fd);
        else
            ::rmdir(pattern.constData());
    }
    *why = QStringLiteral("cannot create a job folder under %1: each new one was taken")
               .arg(QFile::decodeName(prefix));
    return {};
}

void RemoveJobFolder(JobFolder &folder)
{
    if (!folder.path.isEmpty())
        RemoveFolder(folder.path);
    if (folder.lockFd >= 0)
        ::close(folder.lockFd);
    folder = {};
}

int RemoveLeftJobFolders()
{
    QByteArray prefix;
    QString why;
    if (!NamePrefix(prefix, &why))
        return 0;
    const int slash = prefix.lastIndexOf('/');
    const QString base = QFile::decodeName(prefix.left(slash));
    const QString start = QFile::decodeName(prefix.mid(slash + 1));
    int removed = 0;
    const QStringList names = QDir(base).entryList({start + u'*'}, QDir::Dirs | QDir::NoDotAndDotDot |
                                                                       QDir::Hidden | QDir::NoSymLinks);
    for (const QString &name : names) {
        const QString path = base + u'/' + name;
        const QByteArray native = QFile::encodeName(path);
        // Opened without following a link, then judged by what was opened: a folder of this user.
        const int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat info {};
        if (::fstat(fd, &info) == 0 && info.st_uid == ::geteuid() && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            RemoveFolder(path);
            if (!QFileInfo::exists(path))
                ++removed;
        }
        ::close(fd);
    }
    return removed;
}
