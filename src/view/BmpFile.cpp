// Reading a page's BMP file from disk and decoding it, rows read in place where possible.
#include "view/BmpDecoder.h"

#include "view/BmpPixels.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

// The first read of a file: headers (14 + 124 bytes), masks (16) and the colour table entries that
// are read (256 x 4) always end within it, and a file no longer than this is decoded from it.
constexpr qint64 kHeadBytes = 64 * 1024;
// Below this many bytes a row, one read per row costs more than a copy through a buffer of
// kScratchBytes.
constexpr qint64 kMinStrideForRowReads = 1024;
constexpr qint64 kScratchBytes = 64 * 1024;

// The file's bytes for the time of one decode, in their own anonymous mapping: unmapping gives the
// memory straight back, so a loaded page holds only its decoded pixels.
class CFileBytes {
public:
    explicit CFileBytes(qint64 nSize) : m_nSize(std::size_t(nSize))
    {
        void *p = ::mmap(nullptr, m_nSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        m_p = p == MAP_FAILED ? nullptr : static_cast<uchar *>(p);
    }
    ~CFileBytes()
    {
        if (m_p)
            ::munmap(m_p, m_nSize);
    }
    CFileBytes(const CFileBytes &) = delete;
    CFileBytes &operator=(const CFileBytes &) = delete;
    uchar *Data() const { return m_p; }

private:
    uchar *m_p = nullptr;
    std::size_t m_nSize = 0;
};

// Reads the stored rows of a same-depth layout straight into their decoded places, so the pixels are
// copied once: file row i is decoded row i (top-down) or nHeight - 1 - i (bottom-up). The decoded
// stride equals the stored one; the last stored row is read without its padding, which may be absent.
int ReadRowsInPlace(int fd, const CBmpSource &src, CBmpBitmap &bitmap)
{
    constexpr int kBatch = 256;
    const qint64 nRowBytes = (qint64(src.nWidth) * src.nBits + 7) / 8;
    const qint64 nBytes = src.nStride * (src.nHeight - 1) + nRowBytes;
    if (src.bTopDown) {
        const qint64 nGot = ReadBmpFileAt(fd, bitmap.Row(0), nBytes, src.nAt);
        if (nGot < 0)
            return BMP_ERR_FILE;
        if (nGot < nBytes)
            return BMP_ERR_TRUNCATED; // the file shrank since its size was taken
        FinishRowsInPlace(src, bitmap);
        return BMP_OK;
    }
    // Bottom-up rows too short for one read each to pay: whole rows go through a small buffer in
    // stored order and are copied to their places from there.
    if (src.nStride < kMinStrideForRowReads) {
        const int nChunkRows = int(kScratchBytes / src.nStride);
        CBmpBuffer scratch(static_cast<uchar *>(std::malloc(std::size_t(nChunkRows * src.nStride))));
        if (!scratch)
            return BMP_ERR_MEMORY;
        for (int i = 0; i < src.nHeight; i += nChunkRows) {
            const int nRows = qMin(nChunkRows, src.nHeight - i);
            const qint64 nWant =
                src.nStride * (nRows - 1) + (i + nRows == src.nHeight ? nRowBytes : src.nStride);
            const qint64 nGot = ReadBmpFileAt(fd, scratch.get(), nWant, src.nAt + src.nStride * i);
            if (nGot < 0)
                return BMP_ERR_FILE;
            if (nGot < nWant)
                return BMP_ERR_TRUNCATED;
            for (int r = 0; r < nRows; ++r)
                std::memcpy(bitmap.Row(src.nHeight - 1 - i - r), scratch.get() + src.nStride * r,
                            std::size_t(nRowBytes));
        }
        FinishRowsInPlace(src, bitmap);
        return BMP_OK;
    }
    // Long bottom-up rows: one read per row, up to kBatch rows a call.
    auto rowLength = [&](int i) { return i == src.nHeight - 1 ? nRowBytes : src.nStride; };
    int i = 0;
    qint64 nDone = 0; // bytes of row i already read
    qint64 nAt = src.nAt;
    while (i < src.nHeight) {
        iovec iov[kBatch];
        int n = 0;
        for (int r = i; r < src.nHeight && n < kBatch; ++r, ++n) {
            const qint64 nSkip = r == i ? nDone : 0;
            iov[n].iov_base = bitmap.Row(src.nHeight - 1 - r) + nSkip;
            iov[n].iov_len = std::size_t(rowLength(r) - nSkip);
        }
        ssize_t nGot = ::preadv(fd, iov, n, off_t(nAt));
        if (nGot < 0 && errno == EINTR)
            continue;
        if (nGot < 0)
            return BMP_ERR_FILE;
        if (nGot == 0)
            return BMP_ERR_TRUNCATED; // the file shrank since its size was taken
        nAt += nGot;
        while (nGot > 0) {
            const qint64 nLeft = rowLength(i) - nDone;
            if (nGot < nLeft) {
                nDone += nGot;
                break;
            }
            nGot -= ssize_t(nLeft);
            nDone = 0;
            ++i;
        }
    }
    FinishRowsInPlace(src, bitmap);
    return BMP_OK;
}

// The first kHeadBytes hold every header; a file no longer than that is decoded from them. A longer
// one in a same-depth layout has its rows read into place; any other is read whole and decoded.
int ReadOpenFile(int fd, CBmpBitmap &out)
{
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return BMP_ERR_FILE;
    const qint64 nFileSize = qMin<qint64>(st.st_size, kMaxFileBytes);
    if (nFileSize <= 0)
        return BMP_ERR_HEADER;
    const qint64 nHeadSize = qMin(nFileSize, kHeadBytes);
    CBmpBuffer head(static_cast<uchar *>(std::malloc(std::size_t(nHeadSize))));
    if (!head)
        return BMP_ERR_MEMORY;
    const qint64 nHead = ReadBmpFileAt(fd, head.get(), nHeadSize, 0);
    if (nHead < 0)
        return BMP_ERR_FILE;
    if (nHead < kHeadBytes || nHead == nFileSize)
        return DecodeBmp(head.get(), std::size_t(nHead), out);

    CBmpSource src;
    CBmpBitmap bitmap;
    int nResult = PrepareBmp(head.get(), nHead, nFileSize, src, bitmap);
    if (nResult != BMP_OK)
        return nResult;
    if (src.eKind == CBmpSource::COPY || src.eKind == CBmpSource::COPY555 ||
        src.eKind == CBmpSource::COPY_X32) {
        nResult = ReadRowsInPlace(fd, src, bitmap);
        if (nResult == BMP_OK)
            out = std::move(bitmap);
        return nResult;
    }
    // Converted layouts: the file up to the end of its pixel array (an RLE stream to the end of the file).
    bitmap = CBmpBitmap();
    const bool bRle = src.eKind == CBmpSource::RLE8 || src.eKind == CBmpSource::RLE4;
    const qint64 nNeed = bRle ? nFileSize : qMin(nFileSize, src.nAt + src.nStride * src.nHeight);
    const CFileBytes whole(nNeed);
    if (!whole.Data())
        return BMP_ERR_MEMORY;
    const qint64 nGot = ReadBmpFileAt(fd, whole.Data(), nNeed, 0);
    if (nGot < 0)
        return BMP_ERR_FILE;
    return DecodeBmp(whole.Data(), std::size_t(nGot), out);
}

} // namespace

int OpenBmpFile(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty())
        return -1;
    // O_NONBLOCK: opening a FIFO must not wait for a writer; fstat then turns it away.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Reads up to nWant bytes at nAt; fewer only when the file ends (or shrinks) first. -1 on an error.
qint64 ReadBmpFileAt(int fd, uchar *p, qint64 nWant, qint64 nAt)
{
    qint64 nGot = 0;
    while (nGot < nWant) {
        const ssize_t n = ::pread(fd, p + nGot, std::size_t(nWant - nGot), off_t(nAt + nGot));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        nGot += n;
    }
    return nGot;
}

int ReadBmpFile(const QString &path, CBmpBitmap &out)
{
    out = CBmpBitmap();
    const int fd = OpenBmpFile(path);
    if (fd < 0)
        return BMP_ERR_FILE;
    const int nResult = ReadOpenFile(fd, out);
    ::close(fd);
    return nResult;
}
