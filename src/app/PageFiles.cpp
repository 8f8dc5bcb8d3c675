// A job's page files: the wildcard search and the deletions at the end of the job.
#include "app/PageFiles.h"

#include "app/JobSettings.h"
#include "link/NativePath.h"
#include "link/PageFileName.h"

#include <QList>

#include <dirent.h>
#include <unistd.h>

namespace {

constexpr int LastSweptPage = 999;
// Past this many pages the deletion of pages 1..count reads the folder once instead of trying every
// name: the same files go, without millions of calls for a driver's outsize page count.
constexpr int DirectDeletionLimit = 10000;

// DeleteFileW's counterpart: unlinks a name (a link, not its target); fails for a folder. A name
// with a NUL character names nothing (the system would see a shorter name).
void RemoveFile(const QString &path)
{
    if (!path.isEmpty() && !path.contains(QChar(u'\0')))
        ::unlink(EncodeNativePath(path).constData());
}

// Calls visit with each entry name of folder ("." and ".." left out) until it returns true.
template <typename Visit> bool AnyEntry(const QString &folder, Visit visit)
{
    if (folder.contains(QChar(u'\0')))
        return false;
    DIR *dir = ::opendir(EncodeNativePath(folder).constData());
    if (dir == nullptr)
        return false;
    bool found = false;
    while (!found) {
        const dirent *entry = ::readdir(dir);
        if (entry == nullptr)
            break;
        const char *raw = entry->d_name;
        if (raw[0] == '.' && (raw[1] == '\0' || (raw[1] == '.' && raw[2] == '\0')))
            continue;
        found = visit(DecodeNativePath(raw));
    }
    ::closedir(dir);
    return found;
}

// Splits a path into its folder (as opendir wants it) and its last part.
void SplitPath(const QString &path, QString *folder, QString *name)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0)
        *folder = QStringLiteral(".");
    else if (slash == 0)
        *folder = QStringLiteral("/");
    else
        *folder = path.left(slash);
    *name = path.mid(slash + 1);
}

// Pages 1..nCount of a large count: each folder entry that is exactly the name of such a page.
void RemovePagesByListing(const QString &format, int nCount)
{
    QString folder;
    QString nameFormat;
    SplitPath(format, &folder, &nameFormat);
    const qsizetype at = PageNumberAt(nameFormat);
    const QString prefix = nameFormat.left(at);
    const QString suffix = nameFormat.mid(at + kPageNumberLength);
    QList<QString> doomed;
    AnyEntry(folder, [&](const QString &name) {
        if (name.size() < prefix.size() + 5 + suffix.size() || !name.startsWith(prefix) ||
            !name.endsWith(suffix))
            return false;
        const QStringView digits =
            QStringView(name).mid(prefix.size(), name.size() - prefix.size() - suffix.size());
        bool ok = false;
        const qint64 nPage = digits.toString().toLongLong(&ok, 10);
        if (ok && nPage >= 1 && nPage <= nCount) {
            const QString expected = PageFileName(format, int(nPage));
            if (expected.mid(expected.lastIndexOf(u'/') + 1) == name)
                doomed.append(expected);
        }
        return false;
    });
    for (const QString &path : doomed)
        RemoveFile(path);
}

} // namespace

bool WildcardMatch(QStringView pattern, QStringView name)
{
    // Characters, not UTF-16 units, so that "?" takes a whole surrogate pair.
    const QList<uint> p = pattern.toUcs4();
    const QList<uint> s = name.toUcs4();
    qsizetype pi = 0;
    qsizetype si = 0;
    // The latest "*" and the name position it was tried at: on a mismatch it takes one character
    // more. Each "*" only ever moves forward, so the match takes at most |p| * |s| steps.
    qsizetype starP = -1;
    qsizetype starS = 0;
    while (si < s.size()) {
        if (pi < p.size() && p[pi] == u'*') {
            starP = pi++;
            starS = si;
        } else if (pi < p.size() && (p[pi] == u'?' || p[pi] == s[si])) {
            ++pi;
            ++si;
        } else if (starP >= 0) {
            pi = starP + 1;
            si = ++starS;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == u'*')
        ++pi;
    return pi == p.size();
}

bool AnyFileMatches(const QString &pattern)
{
    if (pattern.isEmpty() || pattern.size() > MaxPatternLength)
        return false;
    QString folder;
    QString namePattern;
    SplitPath(pattern, &folder, &namePattern);
    if (namePattern.isEmpty())
        return false;
    return AnyEntry(folder, [&namePattern](const QString &name) { return WildcardMatch(namePattern, name); });
}

void DeleteJobFiles(const CJobSettings &settings)
{
    const QString &format = settings.m_strPageFileFormat;
    // The template is whole only once FileName has been read, and then the pattern is set too; before
    // that the text is FilePath alone, whose own "%05d" names no page.
    const qsizetype at = PageNumberAt(format);
    const bool bHasTemplate = !settings.m_strPageFilePattern.isEmpty() && at >= 0;
    const int nCount = settings.m_nPageCount;

    if (bHasTemplate) {
        if (nCount > DirectDeletionLimit && format.indexOf(u'/', at) < 0) {
            RemovePagesByListing(format, nCount);
        } else {
            for (int nPage = 1; nPage <= nCount; ++nPage)
                RemoveFile(PageFileName(format, nPage));
        }
    }

    RemoveFile(settings.m_strIniPath);

    if (!bHasTemplate || nCount >= LastSweptPage)
        return;
    if (!AnyFileMatches(settings.m_strPageFilePattern))
        return;
    for (int nPage = nCount < 1 ? 1 : nCount + 1; nPage <= LastSweptPage; ++nPage)
        RemoveFile(PageFileName(format, nPage));
}
