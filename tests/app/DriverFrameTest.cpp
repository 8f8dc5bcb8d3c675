// The 32-byte frame: the exact bytes on the wire, and the stream reassembly.
#include "link/DriverFrame.h"
#include "support/ParamPrint.h"

#include <gtest/gtest.h>

#include <array>
#include <ostream>

namespace {

using Bytes = std::array<unsigned char, kDriverFrameSize>;

struct FrameBytes {
    const char *name;
    DriverFrame frame;
    Bytes bytes;
};

void PrintTo(const FrameBytes &c, std::ostream *os)
{
    *os << c.name << ": ";
    ParamPrint::HexPrefix(c.bytes.data(), c.bytes.size(), os);
}

// Worked by hand from the layout: kind @0 u32, message @4 u32, serial @8 u64, wParam @16 u64,
// lParam @24 i64, all little-endian.
const FrameBytes kFrames[] = {
    {"SendResultPrint",
     {FRAME_SEND, 0x8003, 2, 1, 0},
     {2, 0, 0, 0, 0x03, 0x80, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {"RefusingReply",
     {FRAME_REPLY, 0x8005, 0x0102030405060708ull, 0, -1},
     {3, 0, 0, 0, 0x05, 0x80, 0, 0, 0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01,
      0, 0, 0, 0, 0,    0,    0, 0, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff}},
    {"PagesAllBits",
     {FRAME_POST, 0x8002, ~quint64(0), 0xfedcba9876543210ull, qint64(-0x7fffffffffffffffll - 1)},
     {1,    0,    0,    0,    0x02, 0x80, 0,    0,    0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
      0x10, 0x32, 0x54, 0x76, 0x98, 0xba, 0xdc, 0xfe, 0,    0,    0,    0,    0,    0,    0,    0x80}},
    {"WideMessageNumber",
     {0xdeadbeef, 0x00018004, 0, 0, 0x7fffffffffffffffll},
     {0xef, 0xbe, 0xad, 0xde, 0x04, 0x80, 0x01, 0, 0,    0,    0,    0,    0,    0,    0,    0,
      0,    0,    0,    0,    0,    0,    0,    0, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x7f}},
};

class DriverFrameBytesTest : public ::testing::TestWithParam<FrameBytes> {};

TEST_P(DriverFrameBytesTest, EncodesAndDecodesTheWireBytes)
{
    const FrameBytes &expected = GetParam();
    Bytes encoded = {};
    EncodeDriverFrame(expected.frame, encoded.data());
    EXPECT_EQ(encoded, expected.bytes);

    DriverFrame decoded;
    ASSERT_TRUE(DecodeDriverFrame(expected.bytes.data(), expected.bytes.size(), decoded));
    EXPECT_EQ(decoded.kind, expected.frame.kind);
    EXPECT_EQ(decoded.message, expected.frame.message);
    EXPECT_EQ(decoded.serial, expected.frame.serial);
    EXPECT_EQ(decoded.wParam, expected.frame.wParam);
    EXPECT_EQ(decoded.lParam, expected.frame.lParam);
}

INSTANTIATE_TEST_SUITE_P(Frames, DriverFrameBytesTest, ::testing::ValuesIn(kFrames),
                         [](const ::testing::TestParamInfo<FrameBytes> &param) {
                             return std::string(param.param.name);
                         });

TEST(DriverFrameTest, DecodeTakesExactlyThirtyTwoBytes)
{
    unsigned char bytes[kDriverFrameSize + 1] = {1};
    DriverFrame frame;
    frame.kind = 77;
    for (std::size_t nSize : {std::size_t(0), std::size_t(1), std::size_t(31), std::size_t(33)})
        EXPECT_FALSE(DecodeDriverFrame(bytes, nSize, frame)) << nSize;
    EXPECT_FALSE(DecodeDriverFrame(nullptr, kDriverFrameSize, frame));
    EXPECT_EQ(frame.kind, 77u) << "a refused decode leaves the frame alone";
    EXPECT_TRUE(DecodeDriverFrame(bytes, kDriverFrameSize, frame));
    EXPECT_EQ(frame.kind, 1u);
}

// The reader gives the same frames however the bytes are cut, and keeps a partial frame across calls.
class DriverFrameReaderTest : public ::testing::TestWithParam<std::size_t> {};

TEST_P(DriverFrameReaderTest, ReassemblesFramesCutAnywhere)
{
    std::vector<unsigned char> stream;
    for (const FrameBytes &entry : kFrames)
        stream.insert(stream.end(), entry.bytes.begin(), entry.bytes.end());
    stream.push_back(0xaa); // the start of a fifth frame that never completes

    CDriverFrameReader reader;
    std::vector<DriverFrame> frames;
    const std::size_t nChunk = GetParam();
    for (std::size_t nAt = 0; nAt < stream.size(); nAt += nChunk)
        reader.Feed(stream.data() + nAt, std::min(nChunk, stream.size() - nAt), frames);

    ASSERT_EQ(frames.size(), std::size(kFrames));
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i].serial, kFrames[i].frame.serial) << i;
        EXPECT_EQ(frames[i].lParam, kFrames[i].frame.lParam) << i;
        EXPECT_EQ(frames[i].message, kFrames[i].frame.message) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Chunks, DriverFrameReaderTest,
                         ::testing::Values(std::size_t(1), std::size_t(2), std::size_t(5), std::size_t(31),
                                           std::size_t(32), std::size_t(33), std::size_t(64),
                                           std::size_t(200)));

} // namespace
