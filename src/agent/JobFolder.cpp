#include "JobFolder.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

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

} // namespace

QString MakeJobFolder(quint32 jobId, QString *why)
{
    QByteArray pattern;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        pattern = QByteArrayLiteral("/tmp/corvane-job-");
    } else {
        QByteArray base;
        if (!RuntimeBase(base, why))
            return {};
        pattern = base + "/job-";
    }
    pattern += QByteArray::number(jobId) + "-XXXXXX";
    // mkdtemp makes the folder with mode 0700 under a name nobody could have taken before.
    if (::mkdtemp(pattern.data()) == nullptr) {
        *why =
            QStringLiteral("cannot create a job folder %1: %2").arg(QFile::decodeName(pattern), ErrnoText());
        return {};
    }
    return QFile::decodeName(pattern) + u'/';
}

void RemoveJobFolder(const QString &folder)
{
    if (folder.isEmpty())
        return;
    QDir dir(folder);
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names)
        dir.remove(name);
    QDir().rmdir(folder);
}
