// The filter's raster spooling over whole streams: CRasterSpool reads arbitrary input through CUPS's
// raster API page by page, as corvane-cups does (rows converted for a page the preview can show,
// skipped otherwise), then drains the rest. Nothing crashes or overruns, and the spool holds exactly
// the input's bytes: the printer's filter must get what the scheduler sent.
#include "RasterSpool.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

namespace {

void Check(bool holds)
{
    if (!holds)
        std::abort();
}

// Pages larger than this are skipped unread: decompressing huge pages only costs time.
constexpr quint64 kMaxFuzzPageBytes = 256 << 10;

} // namespace

// CUPS's raster API allocates one line of a header's bytes per line (up to 4 GiB) before the filter
// sees the header. Untouched, that costs a real filter only address space; under the sanitizer it
// costs seconds a page. Here such an allocation fails instead, as it does where memory is limited,
// and the raster API must cope with that.
extern "C" const char *__asan_default_options()
{
    return "allocator_may_return_null=1:max_allocation_size_mb=1024";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const int input = ::memfd_create("raster", MFD_CLOEXEC);
    Check(input >= 0);
    Check(::write(input, data, size) == static_cast<ssize_t>(size));
    Check(::lseek(input, 0, SEEK_SET) == 0);
    {
        CRasterSpool spool;
        QString why;
        Check(spool.OpenSpool(QByteArrayLiteral("/tmp"), &why));
        if (spool.StartRaster(input, &why)) {
            bool whole = true;
            while (whole && spool.NextPage(&why) == CRasterSpool::Header::Page) {
                const agentwire::PageInfo &page = spool.Page();
                if (spool.CanShow()) {
                    Check(agentwire::CheckPage(page, nullptr));
                    if (agentwire::RowBytes(page) * page.height > kMaxFuzzPageBytes)
                        break;
                    QByteArray row;
                    for (quint32 y = 0; whole && y < page.height; ++y) {
                        whole = spool.NextRow(row);
                        if (whole)
                            Check(static_cast<quint64>(row.size()) == agentwire::RowBytes(page));
                    }
                } else {
                    Check(!spool.ShowProblem().isEmpty());
                    whole = quint64(page.width) * page.height < kMaxFuzzPageBytes * 8 && spool.SkipRows();
                }
            }
        }
        Check(spool.DrainToEnd());
        const int spooled = spool.Rewound();
        Check(spooled >= 0);
        std::vector<char> copy(size + 1);
        std::size_t got = 0;
        for (ssize_t n; (n = ::read(spooled, copy.data() + got, copy.size() - got)) > 0;)
            got += static_cast<std::size_t>(n);
        Check(got == size && std::memcmp(copy.data(), data, size) == 0);
    }
    ::close(input);
    return 0;
}
