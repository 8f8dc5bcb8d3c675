// The first steps of showing a page: its file name, the release of the page shown before, the load,
// and the tape length the page gives along the tape.
#include "BmpBuilder.h"

#include "view/PageImage.h"
#include "view/PageLoad.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

struct CLengthCase {
    int nExtent;
    int nDpi;
    int nMm;
};

void PrintTo(const CLengthCase &c, std::ostream *os)
{
    *os << c.nExtent << " dots at " << c.nDpi << " dpi -> " << c.nMm << " mm";
}

class TapeLengthTest : public ::testing::TestWithParam<CLengthCase> {};

TEST_P(TapeLengthTest, RoundsInDoubleInTheOrderMultiplyDivideAdd)
{
    EXPECT_EQ(TapeLengthMm(GetParam().nExtent, GetParam().nDpi), GetParam().nMm);
}

// 1417 dots at 360 dpi are 99.98 mm, 340 dots 23.99 mm. Dividing first would give 4 for 45 dots at
// 254 dpi; exact rational rounding would give 65 for 645 dots at 254 dpi, where 645 x 25.4 / 254 comes
// out just under 64.5 in double.
INSTANTIATE_TEST_SUITE_P(Lengths, TapeLengthTest,
                         ::testing::Values(CLengthCase{1417, 360, 100}, CLengthCase{340, 360, 24},
                                           CLengthCase{0, 360, 0}, CLengthCase{7, 360, 0},
                                           CLengthCase{8, 360, 1}, CLengthCase{45, 254, 5},
                                           CLengthCase{645, 254, 64}, CLengthCase{164700, 360, 11620},
                                           CLengthCase{28347, 720, 1000}, CLengthCase{100, 0, 0},
                                           CLengthCase{100, -360, 0}));

TEST(PageExtent, OrientationTwoTakesTheWidthAnyOtherTheHeight)
{
    EXPECT_EQ(PageExtentAlongTape(340, 1417, 1), 1417);
    EXPECT_EQ(PageExtentAlongTape(340, 1417, 2), 340);
    EXPECT_EQ(PageExtentAlongTape(340, 1417, 0), 1417);
    EXPECT_EQ(PageExtentAlongTape(0, 0, 2), 0);
}

class PageLoadTest : public ::testing::Test {
protected:
    QTemporaryDir m_root;

    // A 1-bit page of w x h dots.
    static void WritePage(const QString &path, int w, int h)
    {
        CBmpBuilder b;
        b.nBits = 1;
        b.nWidth = w;
        b.nHeight = h;
        b.palette = {qRgb(0, 0, 0), qRgb(255, 255, 255)};
        b.pixels.assign(size_t((w + 31) / 32 * 4) * size_t(h), 0x5A);
        const std::vector<uchar> bytes = b.Build();
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()));
    }
    QString Folder(const QString &name) const
    {
        const QString dir = m_root.filePath(name);
        QDir().mkpath(dir);
        return dir + u'/';
    }
};

TEST_F(PageLoadTest, TapeLengthFollowsTheOrientation)
{
    const QString dir = Folder(QStringLiteral("spool"));
    WritePage(dir + QStringLiteral("p_00001.bmp"), 340, 1417);
    CPageImage image;
    EXPECT_EQ(LoadPageImage(image, dir + QStringLiteral("p_%05d.bmp"), 1, 1, 360), 100);
    EXPECT_EQ(image.GetWidth(), 340);
    EXPECT_EQ(image.GetBPP(), 1);
    EXPECT_EQ(image.GetColorTable(), (QList<QRgb>{qRgb(0, 0, 0), qRgb(255, 255, 255)}));
    EXPECT_EQ(LoadPageImage(image, dir + QStringLiteral("p_%05d.bmp"), 1, 2, 360), 24);
}

TEST_F(PageLoadTest, AMissingPageAfterAGoodOneLeavesNothingAndZeroMm)
{
    const QString dir = Folder(QStringLiteral("spool"));
    WritePage(dir + QStringLiteral("p_00001.bmp"), 340, 1417);
    CPageImage image;
    ASSERT_EQ(LoadPageImage(image, dir + QStringLiteral("p_%05d.bmp"), 1, 1, 360), 100);
    EXPECT_EQ(LoadPageImage(image, dir + QStringLiteral("p_%05d.bmp"), 2, 1, 360), 0);
    EXPECT_TRUE(image.IsNull());
    EXPECT_TRUE(image.Image().isNull());
}

TEST_F(PageLoadTest, PercentInTheFolderIsLiteralAndLongNumbersWiden)
{
    const QString dir = Folder(QStringLiteral("100% %d %05d %s"));
    WritePage(dir + QStringLiteral("job_00007.bmp"), 20, 720);
    WritePage(dir + QStringLiteral("job_123456.bmp"), 30, 1440);
    CPageImage image;
    EXPECT_EQ(LoadPageImage(image, dir + QStringLiteral("job_%05d.bmp"), 7, 1, 720), 25);
    EXPECT_EQ(image.GetWidth(), 20);
    EXPECT_EQ(LoadPageImage(image, dir + QStringLiteral("job_%05d.bmp"), 123456, 1, 720), 51);
    EXPECT_EQ(image.GetWidth(), 30);
}

TEST_F(PageLoadTest, TheSamePageIsReadAgain)
{
    const QString dir = Folder(QStringLiteral("spool"));
    WritePage(dir + QStringLiteral("p_00001.bmp"), 10, 360);
    CPageImage image;
    EXPECT_EQ(LoadPageImage(image, dir + QStringLiteral("p_%05d.bmp"), 1, 1, 360), 25);
    WritePage(dir + QStringLiteral("p_00001.bmp"), 10, 720);
    EXPECT_EQ(LoadPageImage(image, dir + QStringLiteral("p_%05d.bmp"), 1, 1, 360), 51);
}

} // namespace
