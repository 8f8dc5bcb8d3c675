// The session agent's side of the filter's messages on arbitrary packets: the packet split, the job
// and page decoders, and behind them the BMP writer that turns each page's rows into a page file, as the
// agent does. Whatever comes, nothing crashes or writes outside its buffers; a decoded message encodes
// back to the same payload; a page file that is finished decodes as a BMP of the page's size.
//
// Input: a run of packets, each a two-byte little-endian length and that many bytes.
#include "agent/BmpWriter.h"
#include "cups/AgentWire.h"
#include "view/BmpDecoder.h"

#include <QByteArray>
#include <QFile>

#include <cstdint>
#include <cstdlib>
#include <unistd.h>

using namespace agentwire;

namespace {

void Check(bool holds)
{
    if (!holds)
        std::abort();
}

// Page files go to a folder of this process's own, made once.
const QString &Folder()
{
    static const QString folder = [] {
        QByteArray path = QByteArray(std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "/tmp") +
                          "/fuzz-wire-XXXXXX";
        Check(::mkdtemp(path.data()) != nullptr);
        return QFile::decodeName(path) + QLatin1Char('/');
    }();
    return folder;
}

// The page files are kept small so that a run is many inputs, not a few huge pages.
constexpr quint64 kMaxFuzzPageBytes = 1 << 20;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString path = Folder() + QStringLiteral("page.bmp");
    CBmpWriter writer;
    PageInfo page;
    bool jobSeen = false;
    while (size >= 2) {
        const std::size_t want = data[0] | (std::size_t(data[1]) << 8);
        data += 2;
        size -= 2;
        const std::size_t take = want < size ? want : size;
        const QByteArray packet(reinterpret_cast<const char *>(data), static_cast<qsizetype>(take));
        data += take;
        size -= take;

        quint32 type = 0;
        QByteArray payload;
        if (!ParsePacket(packet, type, payload))
            continue;
        Check(Packet(type, payload) == packet);
        QString why;
        if (type == JOB) {
            JobInfo job;
            if (DecodeJob(payload, job, &why)) {
                Check(job.title.size() <= static_cast<qsizetype>(kMaxTitleBytes));
                Check(EncodeJob(job) == payload);
                jobSeen = true;
            }
        } else if (type == PAGE && jobSeen && !writer.IsOpen()) {
            if (!DecodePage(payload, page, &why))
                continue;
            Check(EncodePage(page) == payload);
            Check(CheckPage(page, nullptr));
            if (RowBytes(page) * page.height > kMaxFuzzPageBytes)
                continue;
            QFile::remove(path);
            Check(writer.Begin(path, static_cast<int>(page.width), static_cast<int>(page.height),
                               static_cast<int>(page.bitsPerPixel), static_cast<int>(page.xDpi),
                               static_cast<int>(page.yDpi), &why));
        } else if (type == ROWS && writer.IsOpen()) {
            // The agent refuses rows past the page's end before they reach the writer.
            if (payload.size() > writer.BytesLeft())
                continue;
            Check(writer.Append(payload.constData(), payload.size(), &why));
            if (writer.IsComplete()) {
                Check(writer.Finish(&why));
                QFile file(path);
                Check(file.open(QIODevice::ReadOnly));
                const QByteArray bytes = file.readAll();
                CBmpBitmap bitmap;
                Check(DecodeBmp(reinterpret_cast<const uchar *>(bytes.constData()),
                                static_cast<std::size_t>(bytes.size()), bitmap) == BMP_OK);
                Check(bitmap.nWidth == static_cast<int>(page.width) &&
                      bitmap.nHeight == static_cast<int>(page.height));
            }
        } else if (type == END) {
            quint32 count = 0;
            static_cast<void>(DecodeUint(payload, count));
        }
    }
    writer.Abandon();
    QFile::remove(path);
    return 0;
}
