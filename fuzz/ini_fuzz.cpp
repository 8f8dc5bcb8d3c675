// The INI reader on arbitrary file contents: decoding (BOMs, UTF-8 or CP932), line splitting,
// sections, keys, quotes and numbers must never crash, hang or read out of bounds.
#include "app/IniReader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const CIniReader ini = CIniReader::FromBytes(bytes);
    static const char16_t *const keys[][2] = {
        {u"DRVSPEC", u"MaxTapeWidth"},
        {u"DRVSPEC", u"MaxTapeLength"},
        {u"BMPFILE", u"FilePath"},
        {u"BMPFILE", u"FileName"},
        {u"BMPFILE", u"Copies"},
        {u"BMPFILE", u"TapeWidth"},
        {u"BMPFILE", u"TapeLength"},
        {u"BMPFILE", u"DocName"},
        {u"BMPFILE", u"DPI"},
        {u"BMPFILE", u"Orientation"},
        {u"", u""},
    };
    for (const auto &key : keys) {
        const QString text = ini.GetString(key[0], key[1], QString(), 260);
        if (text.size() > 259)
            __builtin_trap();
        (void)ini.GetInt(key[0], key[1], 0);
    }
    // Names taken from the input itself reach every section and key the file declares.
    const QString decoded = CIniReader::DecodeText(bytes);
    const QStringView view(decoded);
    const qsizetype half = view.size() / 2;
    (void)ini.GetString(view.left(half), view.mid(half), QStringLiteral("default  "), 8);
    (void)ini.GetInt(view.left(half), view.mid(half), -1);
    return 0;
}
