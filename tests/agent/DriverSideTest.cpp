// What every driver writes for the preview, read back by the preview's own readers: page BMPs
// through the BMP decoder, the job file through the job settings.
#include "agent/BmpWriter.h"
#include "driverside/JobFileWriter.h"

#include "app/JobSettings.h"
#include "app/PageFiles.h"
#include "view/BmpDecoder.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

namespace {

struct BmpCase {
    const char *name;
    int width;
    int height;
    int bits;
    int chunk;  // the rows are given in pieces of this many bytes
    QRect page; // the rows at (0, 0) on the whole page; empty: the rows are the page
};

void PrintTo(const BmpCase &c, std::ostream *out)
{
    *out << c.name;
}

// The source pixel (x, y) as grey or colour: a pattern no row or column repeats.
quint32 Pattern(int x, int y)
{
    return static_cast<quint32>(x * 7 + y * 13 + (x * y) % 5);
}

QByteArray SourceRows(const BmpCase &c)
{
    const qsizetype rowBytes = (qsizetype(c.width) * c.bits + 7) / 8;
    QByteArray rows(rowBytes * c.height, '\0');
    for (int y = 0; y < c.height; ++y) {
        char *row = rows.data() + rowBytes * y;
        // The bits past a 1-bit row's last dot are set: they must not show as ink.
        if (c.bits == 1 && c.width % 8 != 0)
            row[rowBytes - 1] = static_cast<char>(0xFF >> (c.width % 8));
        for (int x = 0; x < c.width; ++x) {
            const quint32 v = Pattern(x, y);
            if (c.bits == 1 && v % 3 == 0)
                row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
            else if (c.bits == 8)
                row[x] = static_cast<char>(v);
            else if (c.bits == 24) {
                row[3 * x] = static_cast<char>(v);
                row[3 * x + 1] = static_cast<char>(v >> 2);
                row[3 * x + 2] = static_cast<char>(255 - v);
            }
        }
    }
    return rows;
}

// What the decoded pixel must look like: 1 bit, 1 = black; 8 bits grey; 24 bits red, green, blue.
QRgb Expected(const BmpCase &c, int x, int y)
{
    const quint32 v = Pattern(x, y);
    if (c.bits == 1)
        return v % 3 == 0 ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
    if (c.bits == 8)
        return qRgb(int(v & 255), int(v & 255), int(v & 255));
    return qRgb(int(v & 255), int((v >> 2) & 255), int((255 - v) & 255));
}

QRgb Decoded(const CBmpBitmap &bitmap, int x, int y)
{
    const uchar *row = bitmap.Row(y);
    if (bitmap.nBits == 1)
        return bitmap.palette[(row[x / 8] >> (7 - x % 8)) & 1];
    if (bitmap.nBits == 8)
        return bitmap.palette[row[x]];
    return qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
}

class BmpWriterTest : public ::testing::TestWithParam<BmpCase> {};

TEST_P(BmpWriterTest, ThePreviewDecodesWhatWasStreamed)
{
    const BmpCase &c = GetParam();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("page_00001.bmp"));
    const QByteArray rows = SourceRows(c);
    CBmpWriter writer;
    QString why;
    const QRect page = c.page.isEmpty() ? QRect(0, 0, c.width, c.height) : c.page;
    ASSERT_TRUE(writer.Begin(path, page.width(), page.height(), c.bits, 300, 600,
                             QRect(-page.left(), -page.top(), c.width, c.height), &why))
        << why.toStdString();
    for (qsizetype at = 0; at < rows.size(); at += c.chunk) {
        EXPECT_FALSE(writer.IsComplete());
        ASSERT_TRUE(writer.Append(rows.constData() + at, qMin<qsizetype>(c.chunk, rows.size() - at), &why))
            << why.toStdString();
    }
    EXPECT_TRUE(writer.IsComplete());
    EXPECT_FALSE(writer.Append("x", 1, &why)) << "a byte past the last row";
    ASSERT_TRUE(writer.Finish(&why)) << why.toStdString();

    CBmpBitmap bitmap;
    ASSERT_EQ(ReadBmpFile(path, bitmap), BMP_OK);
    EXPECT_EQ(bitmap.nWidth, page.width());
    EXPECT_EQ(bitmap.nHeight, page.height());
    EXPECT_EQ(bitmap.nBits, c.bits) << "the depth is kept";
    // The rows at their place, white around them.
    int wrong = 0;
    for (int y = page.top(); y <= page.bottom(); ++y)
        for (int x = page.left(); x <= page.right(); ++x) {
            const bool inRows = x >= 0 && y >= 0 && x < c.width && y < c.height;
            wrong += Decoded(bitmap, x - page.left(), y - page.top()) !=
                             (inRows ? Expected(c, x, y) : qRgb(255, 255, 255))
                         ? 1
                         : 0;
        }
    EXPECT_EQ(wrong, 0);

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray header = file.read(46);
    auto u32 = [&](int at) { return qFromLittleEndian<quint32>(header.constData() + at); };
    EXPECT_EQ(u32(38), 11811u) << "300 dpi in pixels per metre";
    EXPECT_EQ(u32(42), 23622u) << "600 dpi";
    EXPECT_EQ(file.permissions() & (QFile::ReadGroup | QFile::ReadOther), 0);
}

INSTANTIATE_TEST_SUITE_P(Depths, BmpWriterTest,
                         ::testing::Values(BmpCase{"OneBitOddWidthByteAtATime", 37, 23, 1, 1, {}},
                                           BmpCase{"OneBitWholeRows", 64, 10, 1, 8, {}},
                                           BmpCase{"GreyPiecesAcrossRows", 13, 17, 8, 5, {}},
                                           BmpCase{"ColourAllAtOnce", 21, 9, 24, 1 << 20, {}},
                                           BmpCase{"ColourPiecesAcrossRows", 5, 40, 24, 7, {}},
                                           // The rows at (13, 5) of a larger page: the bits shift by 5.
                                           BmpCase{"OneBitPlacedAtAnOddDot", 37, 23, 1, 1, {-13, -5, 61, 40}},
                                           BmpCase{"OneBitPlacedOnAByte", 64, 10, 1, 8, {-16, -3, 100, 20}},
                                           BmpCase{"OneBitPlacedAtTheRightEdge", 37, 3, 1, 5, {-3, 0, 40, 9}},
                                           BmpCase{"GreyPlaced", 13, 17, 8, 5, {-3, -4, 20, 30}},
                                           BmpCase{"ColourPlaced", 5, 40, 24, 7, {-2, -7, 9, 50}}),
                         [](const auto &param) { return std::string(param.param.name); });

TEST(BmpWriterLimitsTest, RefusesWhatThePreviewCannotShowAndCleansUp)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("p.bmp"));
    QString why;
    {
        CBmpWriter writer;
        EXPECT_FALSE(writer.Begin(path, 10, 10, 4, 300, 300, &why));
        EXPECT_FALSE(writer.Begin(path, 0, 10, 1, 300, 300, &why));
        EXPECT_FALSE(writer.Begin(path, (1 << 20) + 1, 1, 1, 300, 300, &why));
        EXPECT_FALSE(writer.Begin(path, 10, 10, 1, 300, 300, QRect(3, 0, 8, 10), &why))
            << "rows off the page";
        EXPECT_FALSE(writer.Begin(path, 10, 10, 1, 300, 300, QRect(0, -1, 8, 10), &why)) << "rows above it";
        EXPECT_FALSE(QFile::exists(path));
        ASSERT_TRUE(writer.Begin(path, 10, 10, 8, 300, 300, &why));
        EXPECT_FALSE(CBmpWriter().Begin(path, 10, 10, 8, 300, 300, &why)) << "an existing file is not taken";
        ASSERT_TRUE(writer.Append("abc", 3, &why));
        EXPECT_FALSE(writer.Finish(&why)) << "rows are missing";
    }
    EXPECT_FALSE(QFile::exists(path)) << "an unfinished page does not stay";
}

// Every string as it was given, whatever a document's title holds: blanks, quotes, line breaks that
// would start keys of their own, an INI comment, a percent sign.
TEST(JobFileWriterTest, ThePreviewReadsEveryValueAsGiven)
{
    QTemporaryDir dir;
    JobFileKeys keys;
    keys.maxTapeWidthMm = 24;
    keys.maxTapeLengthMm = 62;
    keys.filePath = dir.path() + QStringLiteral("/ラベル dir/");
    keys.fileName = QStringLiteral("page");
    keys.copies = 3;
    keys.tapeWidth = QStringLiteral("24mm");
    keys.tapeLength = QStringLiteral("62mm");
    keys.docName = QStringLiteral("  \"出荷\" 100%\n[BMPFILE]\nFilePath=/etc/ ;x  ");
    keys.dpi = 300;
    keys.orientation = 1;
    const QString path = dir.filePath(QStringLiteral("job.ini"));
    QString why;
    ASSERT_TRUE(WriteJobFile(path, keys, &why)) << why.toStdString();

    CJobSettings settings;
    ASSERT_EQ(settings.ReadJobFile(path), 0);
    EXPECT_EQ(settings.m_nTapeWidthMm, 24);
    EXPECT_EQ(settings.m_nTapeLengthMm, 62);
    EXPECT_EQ(PageFileName(settings.m_strPageFileFormat, 2),
              keys.filePath + QStringLiteral("page_00002.bmp"));
    EXPECT_EQ(settings.m_nCopies, 3);
    EXPECT_EQ(settings.m_strTapeWidth, keys.tapeWidth);
    EXPECT_EQ(settings.m_strDocName, QStringLiteral("  \"出荷\" 100% [BMPFILE] FilePath=/etc/ ;x  "));
    EXPECT_EQ(settings.m_nDpi, 300);
    EXPECT_EQ(settings.m_nOrientation, 1);

    ASSERT_TRUE(WriteJobFile(path, keys, &why, QStringLiteral("dpi")));
    EXPECT_EQ(CJobSettings().ReadJobFile(path), 340) << "an omitted key fails as the preview says";
    EXPECT_FALSE(WriteJobFile(dir.filePath(QStringLiteral("missing/job.ini")), keys, &why));
    EXPECT_FALSE(why.isEmpty());
}

} // namespace
