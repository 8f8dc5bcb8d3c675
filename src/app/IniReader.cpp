// The job file's INI text: decoded once, split into sections, looked up as profile functions do.
#include "app/IniReader.h"

#include "link/NativePath.h"
#include "link/Utf8.h"

#include <cerrno>
#include <fcntl.h>
#include <iconv.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Blanks around names and values: the ASCII white space of the platform's profile reader, plus
// Ctrl-Z, which old editors leave at the end of a text file.
bool IsBlank(QChar ch)
{
    const char16_t c = ch.unicode();
    return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f' || c == u'\r' || c == u'\n' || c == 0x1A;
}

QStringView Trimmed(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

bool EqualNames(QStringView a, QStringView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Strict UTF-8 throughout (see Utf8SequenceLength).
bool IsValidUtf8(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const int length = Utf8SequenceLength(p + i, n - i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

QString DecodeUtf16(const char *data, qsizetype nBytes, bool bigEndian)
{
    const qsizetype n = nBytes / 2;
    QString text(n, Qt::Uninitialized);
    QChar *out = text.data();
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    for (qsizetype i = 0; i < n; ++i) {
        const unsigned hi = bigEndian ? p[2 * i] : p[2 * i + 1];
        const unsigned lo = bigEndian ? p[2 * i + 1] : p[2 * i];
        out[i] = QChar(char16_t((hi << 8) | lo));
    }
    return text;
}

// CP932 through iconv. A byte that starts no valid character becomes U+FFFD and decoding goes on
// with the next byte; a character cut off by the end of the file becomes U+FFFD.
QString DecodeCp932(const QByteArray &bytes)
{
    iconv_t cd = iconv_open("UTF-16LE", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return QString::fromUtf8(bytes);
    QString text;
    text.reserve(bytes.size());
    char *in = const_cast<char *>(bytes.constData());
    size_t inLeft = size_t(bytes.size());
    char16_t buffer[1024];
    while (inLeft > 0) {
        char *out = reinterpret_cast<char *>(buffer);
        size_t outLeft = sizeof buffer;
        const size_t rc = iconv(cd, &in, &inLeft, &out, &outLeft);
        const int error = rc == size_t(-1) ? errno : 0;
        const auto produced = qsizetype((sizeof buffer - outLeft) / sizeof(char16_t));
        text.append(reinterpret_cast<const QChar *>(buffer), produced);
        if (error == EILSEQ) {
            text.append(QChar(QChar::ReplacementCharacter));
            ++in;
            --inLeft;
        } else if (error == EINVAL) {
            text.append(QChar(QChar::ReplacementCharacter));
            break;
        } else if (error != 0 && error != E2BIG) {
            break;
        }
    }
    iconv_close(cd);
    return text;
}

// The part of a value the platform's string functions see: everything before a NUL character.
QStringView BeforeNul(QStringView text)
{
    const qsizetype at = text.indexOf(QChar(u'\0'));
    return at < 0 ? text : text.left(at);
}

// Cuts text to at most nMax UTF-16 units without leaving the first half of a surrogate pair.
QString CutTo(QStringView text, int nMax)
{
    if (nMax <= 0)
        return QString();
    if (text.size() <= nMax)
        return text.toString();
    qsizetype n = nMax;
    if (text[n - 1].isHighSurrogate())
        --n;
    return text.left(n).toString();
}

} // namespace

CIniReader CIniReader::FromFile(const QString &path)
{
    if (path.isEmpty() || path.contains(QChar(u'\0')))
        return CIniReader();
    const QByteArray native = EncodeNativePath(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return CIniReader();
    struct stat st = {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > MaxFileBytes) {
        ::close(fd);
        return CIniReader();
    }
    QByteArray bytes;
    bytes.reserve(qsizetype(st.st_size));
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            ::close(fd);
            return CIniReader();
        }
        if (got == 0)
            break;
        if (bytes.size() + got > MaxFileBytes) {
            ::close(fd);
            return CIniReader();
        }
        bytes.append(chunk, qsizetype(got));
    }
    ::close(fd);
    return FromBytes(bytes);
}

QString CIniReader::DecodeText(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype n = bytes.size();
    if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE)
        return DecodeUtf16(bytes.constData() + 2, n - 2, false);
    if (n >= 2 && p[0] == 0xFE && p[1] == 0xFF)
        return DecodeUtf16(bytes.constData() + 2, n - 2, true);
    if (n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF)
        return QString::fromUtf8(bytes.constData() + 3, n - 3);
    if (IsValidUtf8(bytes))
        return QString::fromUtf8(bytes);
    return DecodeCp932(bytes);
}

CIniReader CIniReader::FromBytes(const QByteArray &bytes)
{
    CIniReader reader;
    const QString text = DecodeText(bytes);
    // Lines before the first section header belong to a section without a name, which no lookup
    // finds.
    reader.m_sections.append(Section());
    const QStringView all(text);
    qsizetype pos = 0;
    while (pos < all.size()) {
        qsizetype end = pos;
        while (end < all.size() && all[end] != u'\r' && all[end] != u'\n')
            ++end;
        const QStringView line = Trimmed(all.mid(pos, end - pos));
        pos = end + 1;
        if (line.isEmpty() || line[0] == u';')
            continue;
        if (line[0] == u'[') {
            // The name ends at the first "]", or runs to the end of the line when there is none;
            // whatever follows that "]" is ignored.
            const qsizetype close = line.indexOf(u']');
            Section section;
            section.name = Trimmed(line.mid(1, close < 0 ? -1 : close - 1)).toString();
            reader.m_sections.append(section);
            continue;
        }
        Entry entry;
        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0) {
            entry.name = line.toString();
        } else {
            entry.name = Trimmed(line.left(equals)).toString();
            entry.value = Trimmed(line.mid(equals + 1)).toString();
            entry.hasValue = true;
        }
        reader.m_sections.last().entries.append(entry);
    }
    return reader;
}

const CIniReader::Entry *CIniReader::Find(QStringView section, QStringView key) const
{
    const QStringView sectionName = Trimmed(section);
    const QStringView keyName = Trimmed(key);
    // Only the first section of a name is searched, and in it the first key of a name counts.
    for (qsizetype s = 1; s < m_sections.size(); ++s) {
        if (!EqualNames(m_sections[s].name, sectionName))
            continue;
        for (const Entry &entry : m_sections[s].entries) {
            if (EqualNames(entry.name, keyName))
                return &entry;
        }
        return nullptr;
    }
    return nullptr;
}

QString CIniReader::GetString(QStringView section, QStringView key, const QString &defaultValue,
                              int nCapacity) const
{
    const Entry *entry = Find(section, key);
    if (entry == nullptr || !entry->hasValue) {
        // The platform drops trailing blanks of the default.
        QStringView fallback = BeforeNul(defaultValue);
        while (!fallback.isEmpty() && fallback.back() == u' ')
            fallback.chop(1);
        return CutTo(fallback, nCapacity - 1);
    }
    QStringView value = BeforeNul(entry->value);
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    return CutTo(value, nCapacity - 1);
}

int CIniReader::GetInt(QStringView section, QStringView key, int defaultValue) const
{
    const QString text = GetString(section, key, QString(), std::numeric_limits<int>::max());
    if (text.isEmpty())
        return defaultValue;
    qsizetype i = 0;
    while (i < text.size() && text[i].unicode() <= u' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    quint32 value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            break;
        value = value * 10u + quint32(c - u'0');
    }
    if (negative)
        value = 0u - value;
    return int(qint32(value));
}
