// Page BMP files written row by row as the agent receives the rows.
#include "agent/BmpWriter.h"

#include "link/BmpLimits.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include <QFile>

namespace {

constexpr qsizetype kFileHeader = 14;
constexpr qsizetype kInfoHeader = 40;
constexpr qsizetype kWriteChunk = 64 * 1024;

void PutLE(QByteArray &out, quint32 value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(static_cast<char>(value >> (8 * i)));
}

QString ErrnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Dots per inch to pixels per metre: dpi x 10000 / 254, rounded.
quint32 PixelsPerMetre(int dpi)
{
    return static_cast<quint32>((static_cast<qint64>(dpi) * 10000 + 127) / 254);
}

} // namespace

CBmpWriter::~CBmpWriter()
{
    Abandon();
}

bool CBmpWriter::Begin(const QString &path, int width, int height, int bits, int xDpi, int yDpi, QString *why)
{
    return Begin(path, width, height, bits, xDpi, yDpi, QRect(0, 0, width, height), why);
}

bool CBmpWriter::Begin(const QString &path, int width, int height, int bits, int xDpi, int yDpi,
                       const QRect &rows, QString *why)
{
    Abandon();
    if ((bits != 1 && bits != 8 && bits != 24) || width < 1 || height < 1 || width > kBmpMaxDimension ||
        height > kBmpMaxDimension) {
        if (why != nullptr)
            *why = QStringLiteral("a page of %1 x %2 dots at %3 bits cannot be written")
                       .arg(width)
                       .arg(height)
                       .arg(bits);
        return false;
    }
    if (rows.left() < 0 || rows.top() < 0 || rows.width() < 1 || rows.height() < 1 ||
        qint64(rows.left()) + rows.width() > width || qint64(rows.top()) + rows.height() > height) {
        if (why != nullptr)
            *why = QStringLiteral("rows of %1 x %2 dots at %3, %4 do not lie on the page of %5 x %6")
                       .arg(rows.width())
                       .arg(rows.height())
                       .arg(rows.left())
                       .arg(rows.top())
                       .arg(width)
                       .arg(height);
        return false;
    }
    m_nWidth = rows.width();
    m_nHeight = rows.height();
    m_nLeft = rows.left();
    m_nTop = rows.top();
    m_nPageHeight = height;
    m_nBits = bits;
    m_nRowBytes = static_cast<qsizetype>((static_cast<qint64>(m_nWidth) * bits + 7) / 8);
    // Rows are padded to whole 32-bit words: ((width x bits + 31) / 32) x 4.
    m_nStride = static_cast<qsizetype>((static_cast<qint64>(width) * bits + 31) / 32 * 4);
    // White: palette entry 0 at 1 bit, 255 at 8 bits and in each colour; the padding is 0.
    const qsizetype pageRowBytes = static_cast<qsizetype>((static_cast<qint64>(width) * bits + 7) / 8);
    m_white = QByteArray(m_nStride, '\0');
    if (bits != 1)
        std::memset(m_white.data(), 0xFF, static_cast<size_t>(pageRowBytes));
    const int colours = bits == 1 ? 2 : bits == 8 ? 256 : 0;
    const qsizetype offset = kFileHeader + kInfoHeader + 4 * colours;
    const qint64 imageBytes = static_cast<qint64>(m_nStride) * height;

    QByteArray header;
    header.reserve(offset);
    header.append("BM");
    PutLE(header, static_cast<quint32>(offset + imageBytes), 4);
    PutLE(header, 0, 4);
    PutLE(header, static_cast<quint32>(offset), 4);
    PutLE(header, kInfoHeader, 4);
    PutLE(header, static_cast<quint32>(width), 4);
    PutLE(header, static_cast<quint32>(-height), 4); // negative: the first row is the top one
    PutLE(header, 1, 2);
    PutLE(header, static_cast<quint32>(bits), 2);
    PutLE(header, 0, 4); // no compression
    PutLE(header, static_cast<quint32>(imageBytes), 4);
    PutLE(header, PixelsPerMetre(xDpi), 4);
    PutLE(header, PixelsPerMetre(yDpi), 4);
    PutLE(header, static_cast<quint32>(colours), 4);
    PutLE(header, 0, 4);
    if (bits == 1) {
        PutLE(header, 0x00FFFFFF, 4); // 0: paper
        PutLE(header, 0x00000000, 4); // 1: ink
    } else if (bits == 8) {
        for (quint32 grey = 0; grey < 256; ++grey)
            PutLE(header, grey << 16 | grey << 8 | grey, 4);
    }

    const QByteArray name = QFile::encodeName(path);
    m_fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_fd < 0) {
        if (why != nullptr)
            *why = QStringLiteral("cannot create %1: %2").arg(path, ErrnoText());
        return false;
    }
    m_strPath = path;
    m_nRows = 0;
    m_nFill = 0;
    m_row = QByteArray(m_nRowBytes, '\0');
    m_out = header;
    m_out.reserve(kWriteChunk + m_nStride);
    if (!WriteWhiteRows(m_nTop, why)) {
        Abandon();
        return false;
    }
    return true;
}

bool CBmpWriter::WriteWhiteRows(qint64 count, QString *why)
{
    for (qint64 i = 0; i < count; ++i) {
        m_out.append(m_white);
        if (m_out.size() >= kWriteChunk && !WriteOut(why))
            return false;
    }
    return true;
}

bool CBmpWriter::Append(const char *data, qsizetype size, QString *why)
{
    if (m_fd < 0) {
        if (why != nullptr)
            *why = QStringLiteral("no page is being written");
        return false;
    }
    const qint64 room = BytesLeft();
    if (size > room) {
        if (why != nullptr)
            *why = QStringLiteral("%1 bytes of rows past the end of the page").arg(size - room);
        return false;
    }
    while (size > 0) {
        if (m_nFill == 0 && size >= m_nRowBytes) {
            TakeRow(data);
            data += m_nRowBytes;
            size -= m_nRowBytes;
        } else {
            const qsizetype take = qMin(size, m_nRowBytes - m_nFill);
            std::memcpy(m_row.data() + m_nFill, data, static_cast<size_t>(take));
            m_nFill += take;
            data += take;
            size -= take;
            if (m_nFill == m_nRowBytes) {
                m_nFill = 0;
                TakeRow(m_row.constData());
            }
        }
        if (m_out.size() >= kWriteChunk && !WriteOut(why))
            return false;
    }
    return true;
}

void CBmpWriter::TakeRow(const char *row)
{
    const qsizetype at = m_out.size();
    m_out.append(m_white);
    char *out = m_out.data() + at;
    if (m_nBits == 24) {
        // The file keeps blue, green, red.
        char *pixel = out + 3 * qsizetype(m_nLeft);
        for (int x = 0; x < m_nWidth; ++x) {
            pixel[3 * x] = row[3 * x + 2];
            pixel[3 * x + 1] = row[3 * x + 1];
            pixel[3 * x + 2] = row[3 * x];
        }
    } else if (m_nBits == 8) {
        std::memcpy(out + m_nLeft, row, static_cast<size_t>(m_nRowBytes));
    } else {
        // Bit x of the row is bit left + x of the page: byte i goes to bytes left / 8 + i and the next,
        // shifted by left % 8. The bits past the row's last dot are no ink.
        auto *page = reinterpret_cast<uchar *>(out) + m_nLeft / 8;
        const auto *bits = reinterpret_cast<const uchar *>(row);
        const int shift = m_nLeft % 8;
        const int tail = m_nWidth % 8;
        for (qsizetype i = 0; i < m_nRowBytes; ++i) {
            uchar byte = bits[i];
            if (i + 1 == m_nRowBytes && tail != 0)
                byte &= static_cast<uchar>(0xFF << (8 - tail));
            page[i] |= static_cast<uchar>(byte >> shift);
            const auto carry = static_cast<uchar>(byte << (8 - shift));
            if (shift != 0 && carry != 0)
                page[i + 1] |= carry;
        }
    }
    ++m_nRows;
}

bool CBmpWriter::WriteOut(QString *why)
{
    const char *p = m_out.constData();
    qsizetype left = m_out.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, p, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (why != nullptr)
                *why = QStringLiteral("cannot write %1: %2")
                           .arg(m_strPath, n < 0 ? ErrnoText() : QStringLiteral("no space"));
            return false;
        }
        p += n;
        left -= n;
    }
    m_out.resize(0);
    return true;
}

bool CBmpWriter::Finish(QString *why)
{
    if (m_fd < 0 || !IsComplete()) {
        if (why != nullptr)
            *why = QStringLiteral("the page has %1 of %2 rows").arg(m_nRows).arg(m_nHeight);
        return false;
    }
    if (!WriteWhiteRows(m_nPageHeight - m_nTop - m_nHeight, why) || !WriteOut(why))
        return false;
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) {
        if (why != nullptr)
            *why = QStringLiteral("cannot write %1: %2").arg(m_strPath, ErrnoText());
        QFile::remove(m_strPath);
        return false;
    }
    m_out = QByteArray();
    m_row = QByteArray();
    m_white = QByteArray();
    return true;
}

void CBmpWriter::Abandon()
{
    if (m_fd < 0)
        return;
    ::close(m_fd);
    m_fd = -1;
    QFile::remove(m_strPath);
    m_out = QByteArray();
    m_row = QByteArray();
}
