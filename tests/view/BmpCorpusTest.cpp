// The public BMP corpus: every good file decodes to exactly the pixels of its reference picture, every
// bad file fails cleanly or decodes, every questionable file gives the outcome written down for it in
// docs/bmp-decoding.md.
#include "view/BmpDecoder.h"
#include "view/PageImage.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QMap>
#include <QStringList>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>
#include <string>

// A corpus file by its path in the suite. QString lives in the global namespace, so GoogleTest finds
// its printer only here.
void PrintTo(const QString &text, std::ostream *os)
{
    *os << text.toStdString();
}

namespace {

const QString kSuite = QString::fromUtf8(CORVANE_BMPSUITE_DIR);

// File (relative to the suite) -> reference pictures, from reference-map.tsv.
QMap<QString, QStringList> References()
{
    QMap<QString, QStringList> refs;
    QFile tsv(kSuite + QStringLiteral("/reference-map.tsv"));
    if (!tsv.open(QIODevice::ReadOnly | QIODevice::Text))
        return refs;
    while (!tsv.atEnd()) {
        const QString line = QString::fromUtf8(tsv.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const QStringList cols = line.split(u'\t');
        if (cols.size() >= 2)
            refs[cols[0]].append(cols[1]);
    }
    return refs;
}

QStringList Files(const char *dir)
{
    QStringList names = QDir(kSuite + u'/' + QString::fromLatin1(dir))
                            .entryList({QStringLiteral("*.bmp")}, QDir::Files, QDir::Name);
    for (QString &n : names)
        n.prepend(QString::fromLatin1(dir) + u'/');
    return names;
}

// How many pixels of an RGB888 picture differ from a reference (-1 when the sizes differ), and by
// how much at most. A fully transparent reference pixel has no defined colour and matches any.
struct CDiff {
    qint64 nPixels = -1;
    int nMax = 0;
};

CDiff Differences(const QImage &a, const QImage &ref, int nTolerance)
{
    CDiff diff;
    if (a.size() != ref.size())
        return diff;
    diff.nPixels = 0;
    for (int y = 0; y < a.height(); ++y) {
        const uchar *p = a.constScanLine(y);
        const QRgb *q = reinterpret_cast<const QRgb *>(ref.constScanLine(y));
        for (int x = 0; x < a.width(); ++x, p += 3) {
            if (qAlpha(q[x]) == 0)
                continue;
            const int d = qMax(qMax(std::abs(p[0] - qRed(q[x])), std::abs(p[1] - qGreen(q[x]))),
                               std::abs(p[2] - qBlue(q[x])));
            diff.nMax = qMax(diff.nMax, d);
            if (d > nTolerance)
                ++diff.nPixels;
        }
    }
    return diff;
}

// The smallest difference to any of a file's references, drawn exactly and as Qt draws Image().
struct CMatch {
    qint64 nExact = -1;
    qint64 nDrawn = -1;
    int nMax = 0;
};

CMatch Compare(const CPageImage &image, const QStringList &refs)
{
    CMatch m;
    const QImage exact = image.ToRgb888();
    const QImage drawn = image.Image().convertToFormat(QImage::Format_RGB888);
    // Qt widens 16-bit channels by bit replication: one step off exact scaling at a few levels.
    const int nTolerance = image.GetBPP() == 16 ? 1 : 0;
    for (const QString &ref : refs) {
        const QImage want = QImage(kSuite + u'/' + ref).convertToFormat(QImage::Format_ARGB32);
        const CDiff e = Differences(exact, want, 0);
        const CDiff d = Differences(drawn, want, nTolerance);
        if (e.nPixels >= 0 && (m.nExact < 0 || e.nPixels < m.nExact)) {
            m.nExact = e.nPixels;
            m.nMax = e.nMax;
        }
        if (d.nPixels >= 0 && (m.nDrawn < 0 || d.nPixels < m.nDrawn))
            m.nDrawn = d.nPixels;
    }
    return m;
}

class BmpCorpusGood : public ::testing::TestWithParam<QString> {};

TEST_P(BmpCorpusGood, DecodesToTheReferencePixels)
{
    const QStringList refs = References().value(GetParam());
    ASSERT_FALSE(refs.isEmpty()) << "no reference for " << GetParam().toStdString();
    CPageImage image;
    ASSERT_TRUE(image.Load(kSuite + u'/' + GetParam())) << "result " << image.GetLoadResult();
    const CMatch m = Compare(image, refs);
    EXPECT_EQ(m.nExact, 0);
    EXPECT_EQ(m.nDrawn, 0);
    for (int y = 0; y < image.GetHeight(); y += 7)
        ASSERT_EQ(qAlpha(image.Image().pixel(y % image.GetWidth(), y)), 255);
}

std::string ParamName(const ::testing::TestParamInfo<QString> &param)
{
    std::string s = param.param.section(u'/', 1).toStdString();
    for (char &c : s) {
        if (!isalnum(static_cast<unsigned char>(c)))
            c = '_';
    }
    return s;
}

INSTANTIATE_TEST_SUITE_P(Corpus, BmpCorpusGood, ::testing::ValuesIn(Files("g")), ParamName);

class BmpCorpusBad : public ::testing::TestWithParam<QString> {};

TEST_P(BmpCorpusBad, FailsCleanlyOrDecodes)
{
    CPageImage image;
    const bool bLoaded = image.Load(kSuite + u'/' + GetParam());
    EXPECT_EQ(bLoaded, !image.IsNull());
    if (bLoaded) {
        EXPECT_EQ(image.GetLoadResult(), BMP_OK);
        EXPECT_FALSE(image.ToRgb888().isNull());
    } else {
        EXPECT_NE(image.GetLoadResult(), BMP_OK);
        EXPECT_EQ(image.GetWidth(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, BmpCorpusBad, ::testing::ValuesIn(Files("b")), ParamName);

// What each questionable file gives (the reasons are in docs/bmp-decoding.md): loaded or not, decoded
// depth, alpha mark, and the largest channel difference to its closest reference (-1: not compared).
struct COutcome {
    bool bLoaded;
    int nBits;
    bool bAlpha;
    int nMaxDiff;
};

const QMap<QString, COutcome> &QuestionableOutcomes()
{
    static const QMap<QString, COutcome> outcomes = {
        {QStringLiteral("q/pal1huffmsb.bmp"), {false, 0, false, -1}},
        {QStringLiteral("q/pal1p1.bmp"), {true, 1, false, 0}},
        {QStringLiteral("q/pal2.bmp"), {true, 32, false, 0}},
        {QStringLiteral("q/pal2color.bmp"), {true, 32, false, 0}},
        {QStringLiteral("q/pal4rlecut.bmp"), {true, 4, false, 0}},
        {QStringLiteral("q/pal4rletrns.bmp"), {true, 4, false, 0}},
        {QStringLiteral("q/pal8offs.bmp"), {true, 8, false, 0}},
        {QStringLiteral("q/pal8os2-hs.bmp"), {true, 8, false, 0}},
        {QStringLiteral("q/pal8os2-sz.bmp"), {true, 8, false, 0}},
        {QStringLiteral("q/pal8os2sp.bmp"), {true, 8, false, 0}},
        {QStringLiteral("q/pal8os2v2-16.bmp"), {true, 8, false, 0}},
        {QStringLiteral("q/pal8os2v2-40sz.bmp"), {true, 8, false, 0}},
        {QStringLiteral("q/pal8os2v2-sz.bmp"), {true, 8, false, 0}},
        {QStringLiteral("q/pal8os2v2.bmp"), {true, 8, false, 0}},
        {QStringLiteral("q/pal8oversizepal.bmp"), {true, 8, false, 0}},
        {QStringLiteral("q/pal8rlecut.bmp"), {true, 8, false, 0}},
        {QStringLiteral("q/pal8rletrns.bmp"), {true, 8, false, 0}},
        {QStringLiteral("q/rgb16-231.bmp"), {true, 32, false, 0}},
        {QStringLiteral("q/rgb16-3103.bmp"), {true, 32, false, 0}},
        {QStringLiteral("q/rgb16faketrns.bmp"), {true, 16, false, 0}},
        {QStringLiteral("q/rgb24jpeg.bmp"), {false, 0, false, -1}},
        {QStringLiteral("q/rgb24largepal.bmp"), {true, 24, false, 0}},
        {QStringLiteral("q/rgb24lprof.bmp"), {true, 24, false, 0}},
        {QStringLiteral("q/rgb24png.bmp"), {false, 0, false, -1}},
        {QStringLiteral("q/rgb24prof.bmp"), {true, 24, false, 0}},
        {QStringLiteral("q/rgb24prof2.bmp"), {true, 24, false, -1}},
        {QStringLiteral("q/rgb24rle24.bmp"), {false, 0, false, -1}},
        {QStringLiteral("q/rgb32-111110.bmp"), {true, 32, false, 1}},
        {QStringLiteral("q/rgb32-7187.bmp"), {true, 32, false, 0}},
        {QStringLiteral("q/rgb32-xbgr.bmp"), {true, 32, false, 0}},
        {QStringLiteral("q/rgb32fakealpha.bmp"), {true, 32, false, 0}},
        {QStringLiteral("q/rgb32h52.bmp"), {true, 32, false, 0}},
        {QStringLiteral("q/rgba16-1924.bmp"), {true, 32, true, 0}},
        {QStringLiteral("q/rgba16-4444.bmp"), {true, 32, true, 0}},
        {QStringLiteral("q/rgba16-5551.bmp"), {true, 32, true, 0}},
        {QStringLiteral("q/rgba32-1.bmp"), {true, 32, true, 0}},
        {QStringLiteral("q/rgba32-1010102.bmp"), {true, 32, true, 0}},
        {QStringLiteral("q/rgba32-2.bmp"), {true, 32, true, 0}},
        {QStringLiteral("q/rgba32-61754.bmp"), {true, 32, true, 0}},
        {QStringLiteral("q/rgba32-81284.bmp"), {true, 32, true, 0}},
        {QStringLiteral("q/rgba32abf.bmp"), {true, 32, true, 0}},
        {QStringLiteral("q/rgba32h56.bmp"), {true, 32, true, 0}},
        {QStringLiteral("q/rgba64.bmp"), {true, 32, true, 1}},
    };
    return outcomes;
}

class BmpCorpusQuestionable : public ::testing::TestWithParam<QString> {};

TEST_P(BmpCorpusQuestionable, GivesItsRecordedOutcome)
{
    ASSERT_TRUE(QuestionableOutcomes().contains(GetParam())) << "no recorded outcome";
    const COutcome want = QuestionableOutcomes().value(GetParam());
    CPageImage image;
    const bool bLoaded = image.Load(kSuite + u'/' + GetParam());
    EXPECT_EQ(bLoaded, want.bLoaded) << "result " << image.GetLoadResult();
    EXPECT_EQ(image.GetBPP(), want.nBits);
    EXPECT_EQ(image.IsAlpha(), want.bAlpha);
    if (bLoaded && want.nMaxDiff >= 0) {
        const CMatch m = Compare(image, References().value(GetParam()));
        EXPECT_GE(m.nExact, 0) << "no reference of the same size";
        EXPECT_EQ(m.nMax, want.nMaxDiff);
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, BmpCorpusQuestionable, ::testing::ValuesIn(Files("q")), ParamName);

} // namespace
