// Telling the job's input by its first bytes: raster, PDF or PostScript.
#include "InputKind.h"

#include <cerrno>
#include <unistd.h>

namespace inputkind {

bool ReadHead(int fd, QByteArray *head)
{
    head->resize(kHeadBytes);
    qsizetype got = 0;
    while (got < kHeadBytes) {
        const ssize_t n = ::read(fd, head->data() + got, static_cast<size_t>(kHeadBytes - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            head->clear();
            return false;
        }
        if (n == 0)
            break;
        got += n;
    }
    head->truncate(got);
    return true;
}

Kind Identify(const QByteArray &head)
{
    // CUPS raster v1, v2 (also PWG raster) and v3, written in either byte order.
    static const char *const kSyncWords[] = {"RaSt", "tSaR", "RaS2", "2SaR", "RaS3", "3SaR"};
    for (const char *sync : kSyncWords) {
        if (head == sync)
            return Kind::Raster;
    }
    if (head.startsWith("%PDF"))
        return Kind::Pdf;
    if (head.startsWith("%!") || head.startsWith("\x04%!"))
        return Kind::PostScript;
    return Kind::Unknown;
}

bool Takes(const QByteArray &sourceType, Kind kind)
{
    const QByteArray type = sourceType.toLower();
    switch (kind) {
    case Kind::Raster:
        return type == "application/vnd.cups-raster" || type == "image/pwg-raster";
    case Kind::Pdf:
        return type == "application/vnd.cups-pdf" || type == "application/pdf";
    case Kind::PostScript:
        return type == "application/vnd.cups-postscript" || type == "application/postscript";
    case Kind::Unknown:
        break;
    }
    return false;
}

QString Name(Kind kind)
{
    switch (kind) {
    case Kind::Raster:
        return QStringLiteral("CUPS or PWG raster");
    case Kind::Pdf:
        return QStringLiteral("PDF");
    case Kind::PostScript:
        return QStringLiteral("PostScript");
    case Kind::Unknown:
        break;
    }
    return QStringLiteral("no document of a known kind");
}

} // namespace inputkind
