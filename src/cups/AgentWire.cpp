// Encoding, decoding, sending and receiving the packets between the filter and the session agent.
#include "cups/AgentWire.h"

#include <cerrno>
#include <sys/socket.h>

namespace agentwire {
namespace {

void PutU32(QByteArray &out, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        out.append(static_cast<char>(value >> (8 * i)));
}

quint32 GetU32(const QByteArray &in, qsizetype at)
{
    quint32 value = 0;
    for (int i = 0; i < 4; ++i)
        value |= static_cast<quint32>(static_cast<unsigned char>(in.at(at + i))) << (8 * i);
    return value;
}

constexpr qsizetype kJobFixed = 12;
constexpr qsizetype kPageFields = 12;
constexpr qsizetype kPageSize = 4 * kPageFields;

} // namespace

quint64 RowBytes(const PageInfo &page)
{
    return (static_cast<quint64>(page.width) * page.bitsPerPixel + 7) / 8;
}

void RowsAreThePage(PageInfo &page)
{
    page.pageWidth = page.width;
    page.pageHeight = page.height;
    page.left = 0;
    page.top = 0;
}

bool CheckPage(const PageInfo &page, QString *why)
{
    PageInfo whole = page;
    whole.width = page.pageWidth;
    whole.height = page.pageHeight;
    QString reason;
    if (page.bitsPerPixel != 1 && page.bitsPerPixel != 8 && page.bitsPerPixel != 24)
        reason = QStringLiteral("%1 bits per pixel (1, 8 or 24 are shown)").arg(page.bitsPerPixel);
    else if (page.width == 0 || page.height == 0 || page.width > kMaxSide || page.height > kMaxSide)
        reason = QStringLiteral("a page of %1 x %2 dots (1 to %3 a side)")
                     .arg(page.width)
                     .arg(page.height)
                     .arg(kMaxSide);
    else if (whole.width == 0 || whole.height == 0 || whole.width > kMaxSide || whole.height > kMaxSide)
        reason = QStringLiteral("a whole page of %1 x %2 dots (1 to %3 a side)")
                     .arg(whole.width)
                     .arg(whole.height)
                     .arg(kMaxSide);
    else if (quint64(page.left) + page.width > whole.width || quint64(page.top) + page.height > whole.height)
        reason = QStringLiteral("rows of %1 x %2 dots at %3, %4, off the whole page of %5 x %6")
                     .arg(page.width)
                     .arg(page.height)
                     .arg(page.left)
                     .arg(page.top)
                     .arg(whole.width)
                     .arg(whole.height);
    else if (RowBytes(whole) * whole.height > kMaxPageBytes)
        reason = QStringLiteral("a page of %1 x %2 dots at %3 bits is over %4 MiB")
                     .arg(whole.width)
                     .arg(whole.height)
                     .arg(page.bitsPerPixel)
                     .arg(kMaxPageBytes >> 20);
    else if (page.xDpi == 0 || page.yDpi == 0 || page.xDpi > kMaxDpi || page.yDpi > kMaxDpi)
        reason = QStringLiteral("a resolution of %1 x %2 dpi").arg(page.xDpi).arg(page.yDpi);
    else if (page.page == 0)
        reason = QStringLiteral("page number 0");
    if (why != nullptr)
        *why = reason;
    return reason.isEmpty();
}

QByteArray EncodeJob(const JobInfo &job)
{
    QByteArray out;
    PutU32(out, kVersion);
    PutU32(out, job.jobId);
    PutU32(out, job.copies);
    out.append(job.title.left(static_cast<qsizetype>(kMaxTitleBytes)));
    return out;
}

bool DecodeJob(const QByteArray &payload, JobInfo &job, QString *why)
{
    QString reason;
    if (payload.size() < kJobFixed)
        reason = QStringLiteral("a short job message");
    else if (GetU32(payload, 0) != kVersion)
        reason = QStringLiteral("version %1 of the job message (this agent speaks %2)")
                     .arg(GetU32(payload, 0))
                     .arg(kVersion);
    else if (payload.size() - kJobFixed > static_cast<qsizetype>(kMaxTitleBytes))
        reason = QStringLiteral("a title over %1 bytes").arg(kMaxTitleBytes);
    if (reason.isEmpty()) {
        job.jobId = GetU32(payload, 4);
        job.copies = GetU32(payload, 8);
        job.title = payload.mid(kJobFixed);
    }
    if (why != nullptr)
        *why = reason;
    return reason.isEmpty();
}

QByteArray EncodePage(const PageInfo &page)
{
    QByteArray out;
    for (quint32 v : {page.page, page.width, page.height, page.bitsPerPixel, page.xDpi, page.yDpi,
                      page.widthUm, page.lengthUm, page.pageWidth, page.pageHeight, page.left, page.top})
        PutU32(out, v);
    return out;
}

bool DecodePage(const QByteArray &payload, PageInfo &page, QString *why)
{
    if (payload.size() != kPageSize) {
        if (why != nullptr)
            *why = QStringLiteral("a page message of %1 bytes").arg(payload.size());
        return false;
    }
    PageInfo p;
    quint32 *fields[kPageFields] = {&p.page,    &p.width,    &p.height,    &p.bitsPerPixel, &p.xDpi, &p.yDpi,
                                    &p.widthUm, &p.lengthUm, &p.pageWidth, &p.pageHeight,   &p.left, &p.top};
    for (qsizetype i = 0; i < kPageFields; ++i)
        *fields[i] = GetU32(payload, 4 * i);
    if (!CheckPage(p, why))
        return false;
    page = p;
    return true;
}

QByteArray EncodeUint(quint32 value)
{
    QByteArray out;
    PutU32(out, value);
    return out;
}

bool DecodeUint(const QByteArray &payload, quint32 &value)
{
    if (payload.size() != 4)
        return false;
    value = GetU32(payload, 0);
    return true;
}

QByteArray Packet(quint32 type, const QByteArray &payload)
{
    if (static_cast<std::size_t>(payload.size()) > kMaxPayload)
        return {};
    QByteArray out;
    out.reserve(static_cast<qsizetype>(kHeaderSize) + payload.size());
    PutU32(out, type);
    PutU32(out, static_cast<quint32>(payload.size()));
    out.append(payload);
    return out;
}

bool ParsePacket(const QByteArray &packet, quint32 &type, QByteArray &payload)
{
    if (packet.size() < static_cast<qsizetype>(kHeaderSize))
        return false;
    const quint32 size = GetU32(packet, 4);
    if (size > kMaxPayload ||
        static_cast<qsizetype>(size) != packet.size() - static_cast<qsizetype>(kHeaderSize))
        return false;
    type = GetU32(packet, 0);
    payload = packet.mid(static_cast<qsizetype>(kHeaderSize));
    return true;
}

Io SendPacket(int fd, quint32 type, const QByteArray &payload)
{
    const QByteArray packet = Packet(type, payload);
    if (packet.isEmpty())
        return Io::Bad;
    for (;;) {
        const ssize_t n = ::send(fd, packet.constData(), static_cast<size_t>(packet.size()), MSG_NOSIGNAL);
        if (n == packet.size())
            return Io::Ok;
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return Io::WouldBlock;
        return Io::End;
    }
}

Io ReceivePacket(int fd, quint32 &type, QByteArray &payload)
{
    QByteArray buffer(static_cast<qsizetype>(kHeaderSize + kMaxPayload) + 1, Qt::Uninitialized);
    for (;;) {
        const ssize_t n = ::recv(fd, buffer.data(), static_cast<size_t>(buffer.size()), MSG_TRUNC);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return Io::WouldBlock;
        if (n <= 0)
            return Io::End;
        if (n > buffer.size())
            return Io::Bad;
        buffer.truncate(static_cast<qsizetype>(n));
        return ParsePacket(buffer, type, payload) ? Io::Ok : Io::Bad;
    }
}

} // namespace agentwire
