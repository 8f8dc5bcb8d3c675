// CRasterSpool: the raster read with CUPS's API, every byte copied to the spool file.
#include "RasterSpool.h"

#include "WholePage.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

ssize_t TeeCallback(void *context, unsigned char *buffer, size_t length)
{
    return static_cast<CRasterSpool *>(context)->Read(buffer, length);
}

bool WriteAll(int fd, const unsigned char *data, size_t length)
{
    while (length > 0) {
        const ssize_t n = ::write(fd, data, length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            errno = ENOSPC;
        if (n <= 0)
            return false;
        data += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

// The raster's own bytes of a page may be up to four times the preview's limit (16-bit CMYK against
// 24-bit RGB); anything larger is no label.
constexpr quint64 kMaxRasterPageBytes = 4 * agentwire::kMaxPageBytes;

// Micrometres of a length in points (1/72 inch), or of dots at dpi when the header gives no size.
quint32 Micrometres(float points, quint32 dots, quint32 dpi)
{
    if (points > 0 && points < 1e6f)
        return static_cast<quint32>(std::lround(points * 25400.0 / 72.0));
    return static_cast<quint32>(static_cast<quint64>(dots) * 25400 / dpi);
}

// The raw value of an enum field of a raster header: the header's bytes come from the job, and a value
// outside the enum's range must not be loaded as the enum type.
template <typename Enum> quint32 RawValue(const Enum &field)
{
    static_assert(sizeof(Enum) == sizeof(quint32));
    quint32 value;
    std::memcpy(&value, &field, sizeof value);
    return value;
}

} // namespace

CRasterSpool::~CRasterSpool()
{
    if (m_raster != nullptr)
        cupsRasterClose(m_raster);
    if (m_spool >= 0)
        ::close(m_spool);
}

bool CRasterSpool::OpenSpool(const QByteArray &tempDir, QString *why)
{
    QByteArray path = tempDir + "/corvane-cups-XXXXXX";
    m_spoolDir = QFile::decodeName(path.left(path.lastIndexOf('/')));
    m_spool = ::mkostemp(path.data(), O_CLOEXEC);
    if (m_spool < 0) {
        *why = QStringLiteral("cannot make a spool file in %1: %2")
                   .arg(m_spoolDir, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    ::unlink(path.constData());
    return true;
}

bool CRasterSpool::StartRaster(int inputFd, QString *why, const QByteArray &head)
{
    m_input = inputFd;
    m_head = head;
    m_raster = cupsRasterOpenIO(TeeCallback, this, CUPS_RASTER_READ);
    if (m_raster == nullptr) {
        *why = m_spooled == 0 ? QStringLiteral("the input is empty")
                              : QStringLiteral("the input does not start as CUPS or PWG raster");
        return false;
    }
    return true;
}

ssize_t CRasterSpool::Read(unsigned char *buffer, size_t length)
{
    ssize_t n;
    if (!m_head.isEmpty()) {
        n = static_cast<ssize_t>(std::min(length, static_cast<size_t>(m_head.size())));
        std::memcpy(buffer, m_head.constData(), static_cast<size_t>(n));
        m_head.remove(0, n);
    } else {
        do
            n = ::read(m_input, buffer, length);
        while (n < 0 && errno == EINTR);
    }
    if (n > 0) {
        if (m_spool >= 0 && (m_writeFailed || !WriteAll(m_spool, buffer, static_cast<size_t>(n)))) {
            if (!m_writeFailed)
                m_writeErrno = errno;
            m_writeFailed = true;
            return -1;
        }
        m_spooled += static_cast<quint64>(n);
    }
    return n;
}

CRasterSpool::Header CRasterSpool::NextPage(QString *why)
{
    m_showProblem.clear();
    if (!cupsRasterReadHeader2(m_raster, &m_header)) {
        if (m_writeFailed) {
            *why = SpoolProblem();
            return Header::Bad;
        }
        // The raster API reads ahead: a header it refused is either the end of the input or bytes
        // that are no page header.
        unsigned char probe;
        const ssize_t more = Read(&probe, 1);
        if (more == 0 && m_pageCount > 0)
            return Header::End;
        *why = m_pageCount == 0 && more == 0
                   ? QStringLiteral("the raster holds no page")
                   : QStringLiteral("the header of page %1 is not a raster page header").arg(m_pageCount + 1);
        return Header::Bad;
    }
    ++m_pageCount;
    const cups_page_header2_t &h = m_header;
    const QString page = QStringLiteral("page %1: ").arg(m_pageCount);
    if (h.cupsWidth == 0 || h.cupsHeight == 0 || h.cupsWidth > agentwire::kMaxSide ||
        h.cupsHeight > agentwire::kMaxSide) {
        *why = page + QStringLiteral("%1 x %2 dots (1 to %3 a side)")
                          .arg(h.cupsWidth)
                          .arg(h.cupsHeight)
                          .arg(agentwire::kMaxSide);
        return Header::Bad;
    }
    if (h.HWResolution[0] == 0 || h.HWResolution[1] == 0 || h.HWResolution[0] > agentwire::kMaxDpi ||
        h.HWResolution[1] > agentwire::kMaxDpi) {
        *why = page +
               QStringLiteral("a resolution of %1 x %2 dpi").arg(h.HWResolution[0]).arg(h.HWResolution[1]);
        return Header::Bad;
    }
    const quint64 rowBytes = (static_cast<quint64>(h.cupsWidth) * h.cupsBitsPerPixel + 7) / 8;
    if (h.cupsBitsPerPixel == 0 || rowBytes != h.cupsBytesPerLine) {
        *why = page + QStringLiteral("%1 bytes a line for %2 dots of %3 bits")
                          .arg(h.cupsBytesPerLine)
                          .arg(h.cupsWidth)
                          .arg(h.cupsBitsPerPixel);
        return Header::Bad;
    }
    if (rowBytes * h.cupsHeight > kMaxRasterPageBytes) {
        *why = page + QStringLiteral("%1 x %2 dots of %3 bits are over %4 MiB")
                          .arg(h.cupsWidth)
                          .arg(h.cupsHeight)
                          .arg(h.cupsBitsPerPixel)
                          .arg(kMaxRasterPageBytes >> 20);
        return Header::Bad;
    }

    RasterLayout layout;
    layout.colorSpace = RawValue(h.cupsColorSpace);
    layout.colorOrder = RawValue(h.cupsColorOrder);
    layout.bitsPerColor = h.cupsBitsPerColor;
    layout.bitsPerPixel = h.cupsBitsPerPixel;
    layout.width = h.cupsWidth;
    m_page = {};
    m_page.page = m_pageCount;
    m_page.width = h.cupsWidth;
    m_page.height = h.cupsHeight;
    m_page.xDpi = h.HWResolution[0];
    m_page.yDpi = h.HWResolution[1];
    m_page.widthUm = Micrometres(h.cupsPageSize[0], h.cupsWidth, h.HWResolution[0]);
    m_page.lengthUm = Micrometres(h.cupsPageSize[1], h.cupsHeight, h.HWResolution[1]);
    agentwire::RowsAreThePage(m_page);
    QString problem;
    if (m_converter.Setup(layout, &problem)) {
        m_page.bitsPerPixel = m_converter.WireBits();
        PlaceOnWholePage(h, m_paperSizes, m_page);
        agentwire::CheckPage(m_page, &problem);
    }
    m_showProblem = problem.isEmpty() ? QString() : page + problem;
    m_rowsLeft = h.cupsHeight;
    m_row.resize(static_cast<qsizetype>(rowBytes));
    return Header::Page;
}

bool CRasterSpool::NextRow(QByteArray &converted)
{
    if (m_rowsLeft == 0 || !CanShow())
        return false;
    const auto bytes = static_cast<unsigned>(m_row.size());
    if (cupsRasterReadPixels(m_raster, reinterpret_cast<unsigned char *>(m_row.data()), bytes) != bytes)
        return false;
    --m_rowsLeft;
    converted.resize(static_cast<qsizetype>(m_converter.WireRowBytes()));
    m_converter.Convert(reinterpret_cast<const uchar *>(m_row.constData()),
                        reinterpret_cast<uchar *>(converted.data()));
    return true;
}

bool CRasterSpool::SkipRows()
{
    const auto bytes = static_cast<unsigned>(m_row.size());
    for (; m_rowsLeft > 0; --m_rowsLeft) {
        if (cupsRasterReadPixels(m_raster, reinterpret_cast<unsigned char *>(m_row.data()), bytes) != bytes)
            return false;
    }
    return true;
}

bool CRasterSpool::DrainToEnd()
{
    if (m_writeFailed)
        return false;
    unsigned char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = Read(buffer, sizeof buffer);
        if (n == 0)
            return true;
        if (n < 0)
            return false;
    }
}

int CRasterSpool::Rewound()
{
    if (m_spool < 0 || ::lseek(m_spool, 0, SEEK_SET) != 0)
        return -1;
    return m_spool;
}

QString CRasterSpool::SpoolProblem() const
{
    return QStringLiteral("the spool file in %1 cannot be written: %2")
        .arg(m_spoolDir, QString::fromLocal8Bit(strerror(m_writeErrno)));
}

int CRasterSpool::SpoolWhole(int inputFd, const QByteArray &head)
{
    m_input = inputFd;
    m_head = head;
    if (!DrainToEnd() || m_writeFailed)
        return -1;
    const int spool = Rewound();
    if (spool >= 0)
        m_spool = -1;
    return spool;
}
