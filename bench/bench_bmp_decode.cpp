// Page decode speed and memory. Five page files are written into a temporary folder and read once so
// that they sit in the page cache; then each is loaded repeatedly three ways, side by side:
//   floor: open, read the whole file, copy its pixel array (into buffers allocated beforehand);
//   ours:  CPageImage::Load, which yields the image the view draws;
//   qt:    QImageReader on the same file.
// Each figure is the best of several runs. The resident memory of a loaded page is the growth of the
// process's resident set across one Load, against the page's native-depth size.
#include "view/BmpDecoder.h"
#include "view/PageImage.h"

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct CPageFile {
    const char *name;
    int nWidth;
    int nHeight;
    int nBits;
    QString path;
    qint64 nPixelsAt = 0;
    qint64 nPixelBytes = 0;
};

void Put32(QByteArray &f, int at, quint32 v)
{
    for (int k = 0; k < 4; ++k)
        f[at + k] = char(v >> (8 * k));
}

// A bottom-up BI_RGB file with a grey colour table for the indexed depths and a busy pixel pattern.
bool WritePage(CPageFile &page)
{
    const int nColors = page.nBits <= 8 ? 1 << page.nBits : 0;
    const qint64 nStride = ((qint64(page.nWidth) * page.nBits + 31) / 32) * 4;
    page.nPixelsAt = 54 + 4 * nColors;
    page.nPixelBytes = nStride * page.nHeight;
    QByteArray head(int(page.nPixelsAt), '\0');
    head[0] = 'B';
    head[1] = 'M';
    Put32(head, 2, quint32(page.nPixelsAt + page.nPixelBytes));
    Put32(head, 10, quint32(page.nPixelsAt));
    Put32(head, 14, 40);
    Put32(head, 18, quint32(page.nWidth));
    Put32(head, 22, quint32(page.nHeight));
    head[26] = 1;
    head[28] = char(page.nBits);
    Put32(head, 34, quint32(page.nPixelBytes));
    Put32(head, 46, quint32(nColors));
    for (int i = 0; i < nColors; ++i) {
        const int g = nColors == 1 ? 0 : i * 255 / (nColors - 1);
        head[54 + 4 * i] = head[55 + 4 * i] = head[56 + 4 * i] = char(g);
    }
    QFile f(page.path);
    if (!f.open(QIODevice::WriteOnly) || f.write(head) != head.size())
        return false;
    QByteArray row(int(nStride), '\0');
    quint32 seed = 12345;
    for (int y = 0; y < page.nHeight; ++y) {
        for (int x = 0; x < row.size(); ++x) {
            seed = seed * 1103515245u + 12345u;
            row[x] = char(seed >> 24);
        }
        if (f.write(row) != row.size())
            return false;
    }
    return true;
}

// Reads the file and copies its pixel array into buffers allocated (and touched) beforehand: what no
// decoder can beat, since it parses nothing and allocates nothing.
struct CFloor {
    std::vector<char> file;
    std::vector<char> pixels;
};

qint64 ReadAndCopy(const CPageFile &page, CFloor &floor)
{
    const int fd = ::open(QFile::encodeName(page.path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st;
    ::fstat(fd, &st);
    floor.file.resize(size_t(st.st_size));
    floor.pixels.resize(size_t(page.nPixelBytes));
    qint64 nGot = 0;
    while (nGot < st.st_size) {
        const ssize_t n = ::read(fd, floor.file.data() + nGot, size_t(st.st_size - nGot));
        if (n <= 0)
            break;
        nGot += n;
    }
    ::close(fd);
    std::memcpy(floor.pixels.data(), floor.file.data() + page.nPixelsAt, size_t(page.nPixelBytes));
    return floor.pixels[size_t(page.nPixelBytes) - 1];
}

// Best time of a few runs, in milliseconds: at least 3 runs and about a quarter of a second.
double BestMs(const std::function<void()> &run)
{
    using Clock = std::chrono::steady_clock;
    double dBest = 1e300;
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < 200; ++i) {
        const Clock::time_point t = Clock::now();
        run();
        dBest = std::min(dBest, std::chrono::duration<double, std::milli>(Clock::now() - t).count());
        if (i >= 2 && Clock::now() - start > std::chrono::milliseconds(250))
            break;
    }
    return dBest;
}

qint64 ResidentKb()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * (::sysconf(_SC_PAGESIZE) / 1024) : -1;
}

} // namespace

int main()
{
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    std::vector<CPageFile> pages = {
        {"1bit_1417x340", 1417, 340, 1, {}},       {"1bit_510x14173", 510, 14173, 1, {}},
        {"8bit_1417x340", 1417, 340, 8, {}},       {"24bit_1417x340", 1417, 340, 24, {}},
        {"24bit_1200x30000", 1200, 30000, 24, {}},
    };
    for (CPageFile &page : pages) {
        page.path = dir.filePath(QString::fromLatin1(page.name) + QStringLiteral(".bmp"));
        CFloor warm;
        if (!WritePage(page) || ReadAndCopy(page, warm) < -128) {
            std::fprintf(stderr, "bench_bmp_decode: cannot write %s\n", page.name);
            return 1;
        }
    }

    int status = 0;
    for (const CPageFile &page : pages) {
        CPageImage image;
        if (!image.Load(page.path) || image.GetBPP() != page.nBits) {
            std::fprintf(stderr, "bench_bmp_decode: %s does not load\n", page.name);
            status = 1;
            continue;
        }
        image.Destroy();
        CFloor floor;
        ReadAndCopy(page, floor);
        const double dFloor = BestMs([&] { ReadAndCopy(page, floor); });
        const double dOurs = BestMs([&] {
            image.Load(page.path);
            image.Destroy();
        });
        const double dQt = BestMs([&] {
            QImageReader reader(page.path, "bmp");
            reader.setAllocationLimit(0);
            const QImage decoded = reader.read();
            if (decoded.isNull())
                std::fprintf(stderr, "bench_bmp_decode: QImageReader fails on %s\n", page.name);
        });
        std::printf("bmp_%s_floor %.3f ms\n", page.name, dFloor);
        std::printf("bmp_%s_ours %.3f ms\n", page.name, dOurs);
        std::printf("bmp_%s_qimagereader %.3f ms\n", page.name, dQt);
        std::printf("bmp_%s_ours_over_floor %.2f x\n", page.name, dOurs / dFloor);
        std::printf("bmp_%s_qimagereader_over_ours %.2f x\n", page.name, dQt / dOurs);
    }

    for (const CPageFile &page : pages) {
        malloc_trim(0);
        const qint64 nBefore = ResidentKb();
        CPageImage image;
        image.Load(page.path);
        const qint64 nAfter = ResidentKb();
        std::printf("bmp_%s_native_size %.1f KiB\n", page.name, page.nPixelBytes / 1024.0);
        std::printf("bmp_%s_resident_growth %lld KiB\n", page.name, nAfter - nBefore);
    }
    return status;
}
