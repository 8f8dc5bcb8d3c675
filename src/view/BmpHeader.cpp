// Reading a page bitmap's size from its file and info headers alone.
#include "view/BmpHeader.h"

#include "view/BmpDecoder.h"

#include <unistd.h>

namespace {

quint16 U16(const unsigned char *p)
{
    return quint16(p[0] | (p[1] << 8));
}

quint32 U32(const unsigned char *p)
{
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}

constexpr qsizetype kFileHeaderSize = 14;

} // namespace

int ParseBmpHeader(const unsigned char *data, qsizetype size, CBmpHeaderInfo &out)
{
    out = CBmpHeaderInfo();
    if (size < kFileHeaderSize + 4 || data[0] != 'B' || data[1] != 'M')
        return BMP_ERR_HEADER;
    const quint32 nHeaderSize = U32(data + 14);
    const unsigned char *ih = data + kFileHeaderSize;
    qint64 nWidth = 0;
    qint64 nHeight = 0;
    int nPlanes = 0;
    if (nHeaderSize == 12) {
        // OS/2 1.x: 16-bit unsigned width and height.
        if (size < kFileHeaderSize + 10)
            return BMP_ERR_HEADER;
        nWidth = U16(ih + 4);
        nHeight = U16(ih + 6);
        nPlanes = U16(ih + 8);
    } else if (nHeaderSize == 16 || nHeaderSize == 40 || nHeaderSize == 52 || nHeaderSize == 56 ||
               nHeaderSize == 64 || nHeaderSize == 108 || nHeaderSize == 124) {
        if (size < kFileHeaderSize + 14)
            return BMP_ERR_HEADER;
        nWidth = qint32(U32(ih + 4));
        nHeight = qint32(U32(ih + 8));
        nPlanes = U16(ih + 12);
    } else {
        return BMP_ERR_HEADER;
    }
    if (nPlanes != 1)
        return BMP_ERR_FORMAT;
    // A negative height marks a top-down file.
    if (nHeight < 0)
        nHeight = -nHeight;
    if (nWidth <= 0 || nHeight <= 0 || nWidth > kBmpMaxDimension || nHeight > kBmpMaxDimension)
        return BMP_ERR_SIZE;
    out.nWidth = int(nWidth);
    out.nHeight = int(nHeight);
    return BMP_OK;
}

int ReadBmpHeader(const QString &path, CBmpHeaderInfo &out)
{
    out = CBmpHeaderInfo();
    const int fd = OpenBmpFile(path);
    if (fd < 0)
        return BMP_ERR_FILE;
    unsigned char head[kBmpHeaderReadBytes];
    const qint64 nRead = ReadBmpFileAt(fd, head, sizeof head, 0);
    ::close(fd);
    if (nRead < 0)
        return BMP_ERR_FILE;
    return ParseBmpHeader(head, nRead, out);
}
