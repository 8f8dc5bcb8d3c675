// corvane-cups tells its input by its first bytes, as CUPS's type rules tell it, and picks the
// printer's filter by the source type that takes it.
#include "InputKind.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

using inputkind::Kind;

struct HeadCase {
    QByteArray bytes; // the whole input
    Kind kind;
};

class InputKindTest : public ::testing::TestWithParam<HeadCase> {};

// The head is read from a pipe, as the scheduler hands the input over, and may be shorter than four
// bytes at the end of the input.
TEST_P(InputKindTest, Identify)
{
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const QByteArray &bytes = GetParam().bytes;
    ASSERT_EQ(::write(fds[1], bytes.constData(), static_cast<size_t>(bytes.size())), bytes.size());
    ::close(fds[1]);
    QByteArray head;
    ASSERT_TRUE(inputkind::ReadHead(fds[0], &head));
    EXPECT_EQ(head, bytes.left(inputkind::kHeadBytes));
    char rest[16];
    EXPECT_EQ(::read(fds[0], rest, sizeof rest),
              std::max<qsizetype>(0, bytes.size() - inputkind::kHeadBytes));
    ::close(fds[0]);
    EXPECT_EQ(inputkind::Identify(head), GetParam().kind);
}

INSTANTIATE_TEST_SUITE_P(Heads, InputKindTest,
                         ::testing::Values(HeadCase{"RaS2PwgRaster", Kind::Raster},
                                           HeadCase{"2SaR....", Kind::Raster}, HeadCase{"RaSt", Kind::Raster},
                                           HeadCase{"tSaR", Kind::Raster}, HeadCase{"RaS3", Kind::Raster},
                                           HeadCase{"3SaR", Kind::Raster}, HeadCase{"RaS4", Kind::Unknown},
                                           HeadCase{"%PDF-1.7\n", Kind::Pdf}, HeadCase{"%PD", Kind::Unknown},
                                           HeadCase{"%!PS-Adobe-3.0", Kind::PostScript},
                                           HeadCase{"%!", Kind::PostScript},
                                           HeadCase{"\x04%!PS", Kind::PostScript},
                                           HeadCase{" %PDF", Kind::Unknown}, HeadCase{"", Kind::Unknown},
                                           HeadCase{QByteArray("\0\0\0\0", 4), Kind::Unknown}));

TEST(InputKindTakes, SourceTypesOfEachKind)
{
    EXPECT_TRUE(inputkind::Takes("application/vnd.cups-raster", Kind::Raster));
    EXPECT_TRUE(inputkind::Takes("image/pwg-raster", Kind::Raster));
    EXPECT_TRUE(inputkind::Takes("application/vnd.cups-pdf", Kind::Pdf));
    EXPECT_TRUE(inputkind::Takes("Application/PDF", Kind::Pdf));
    EXPECT_TRUE(inputkind::Takes("application/vnd.cups-postscript", Kind::PostScript));
    EXPECT_TRUE(inputkind::Takes("application/postscript", Kind::PostScript));
    EXPECT_FALSE(inputkind::Takes("application/vnd.cups-pdf", Kind::Raster));
    EXPECT_FALSE(inputkind::Takes("image/urf", Kind::Raster));
    EXPECT_FALSE(inputkind::Takes("application/pdf", Kind::PostScript));
    EXPECT_FALSE(inputkind::Takes("application/octet-stream", Kind::Unknown));
}

} // namespace
