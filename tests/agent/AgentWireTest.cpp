// The filter-agent messages and who may talk to whom: every refusal with its reason.
#include "cups/AgentWire.h"
#include "cups/Rendezvous.h"

#include <gtest/gtest.h>

#include <functional>
#include <unistd.h>
#include <vector>

using namespace agentwire;

namespace {

struct WireCase {
    const char *name;
    std::function<bool(QString *)> check; // true when accepted
    bool accepted;
    const char *reason; // part of the reason when refused
};

void PrintTo(const WireCase &c, std::ostream *out)
{
    *out << c.name;
}

PageInfo Page(quint32 width, quint32 height, quint32 bits, quint32 dpi = 300, quint32 number = 1)
{
    return PageInfo{number, width, height, bits, dpi, dpi, 24000, 30000, width, height, 0, 0};
}

// The rows at (left, top) on a whole page of pageWidth x pageHeight.
PageInfo Placed(PageInfo page, quint32 pageWidth, quint32 pageHeight, quint32 left, quint32 top)
{
    page.pageWidth = pageWidth;
    page.pageHeight = pageHeight;
    page.left = left;
    page.top = top;
    return page;
}

// Every field comes back as it was sent.
bool RoundTrip(const PageInfo &page, QString *why)
{
    PageInfo out;
    if (!DecodePage(EncodePage(page), out, why))
        return false;
    if (EncodePage(out) != EncodePage(page))
        *why = QStringLiteral("changed on the way");
    return why->isEmpty();
}

bool PageCase(const PageInfo &page, QString *why)
{
    PageInfo out;
    return DecodePage(EncodePage(page), out, why);
}

bool PacketCase(const QByteArray &packet, QString *why)
{
    quint32 type = 0;
    QByteArray payload;
    const bool ok = ParsePacket(packet, type, payload);
    *why = ok ? QString() : QStringLiteral("malformed");
    return ok;
}

QByteArray Header(quint32 type, quint32 size)
{
    return EncodeUint(type) + EncodeUint(size);
}

bool JobCase(const QByteArray &payload, QString *why)
{
    JobInfo job;
    return DecodeJob(payload, job, why);
}

rendezvous::Verdict Filter(uid_t peer, uid_t filterUser)
{
    return rendezvous::JudgeFilter(peer, filterUser);
}

bool Verdict(const rendezvous::Verdict &verdict, QString *why)
{
    *why = verdict.reason;
    return verdict.allowed;
}

class AgentWireTest : public ::testing::TestWithParam<WireCase> {};

TEST_P(AgentWireTest, AcceptsOrRefusesWithTheReason)
{
    QString why;
    EXPECT_EQ(GetParam().check(&why), GetParam().accepted) << why.toStdString();
    if (GetParam().accepted)
        EXPECT_TRUE(why.isEmpty()) << why.toStdString();
    else
        EXPECT_TRUE(why.contains(QLatin1String(GetParam().reason))) << why.toStdString();
}

const uid_t kLp = 7;
const uid_t kNone = static_cast<uid_t>(-1);

INSTANTIATE_TEST_SUITE_P(
    Cases, AgentWireTest,
    ::testing::Values(
        // Packets: the header's size must be the payload's, and within the bound.
        WireCase{"PacketWhole", [](QString *w) { return PacketCase(Packet(END, EncodeUint(3)), w); }, true,
                 ""},
        WireCase{"PacketShort", [](QString *w) { return PacketCase(QByteArray(7, '\0'), w); }, false,
                 "malformed"},
        WireCase{"PacketSizeLies",
                 [](QString *w) { return PacketCase(Header(ROWS, 5) + QByteArray(4, 'x'), w); }, false,
                 "malformed"},
        WireCase{"PacketAtTheBound",
                 [](QString *w) { return PacketCase(Packet(ROWS, QByteArray(kMaxPayload, 'x')), w); }, true,
                 ""},
        WireCase{"PacketOverTheBound",
                 [](QString *w) {
                     return PacketCase(Header(ROWS, kMaxPayload + 1) + QByteArray(kMaxPayload + 1, 'x'), w);
                 },
                 false, "malformed"},
        WireCase{"NoPacketIsMadeOverTheBound",
                 [](QString *w) {
                     *w = QStringLiteral("empty");
                     return !Packet(ROWS, QByteArray(kMaxPayload + 1, 'x')).isEmpty();
                 },
                 false, "empty"},
        // Jobs.
        WireCase{"Job",
                 [](QString *w) {
                     return JobCase(EncodeJob(JobInfo{42, 2, QByteArray("ラベル")}), w);
                 },
                 true, ""},
        WireCase{"JobShort", [](QString *w) { return JobCase(EncodeUint(kVersion), w); }, false, "short"},
        WireCase{"JobOtherVersion",
                 [](QString *w) { return JobCase(EncodeUint(1) + EncodeUint(1) + EncodeUint(1), w); }, false,
                 "version 1"},
        WireCase{"JobTitleTooLong",
                 [](QString *w) {
                     return JobCase(EncodeUint(kVersion) + EncodeUint(1) + EncodeUint(1) +
                                        QByteArray(kMaxTitleBytes + 1, 'a'),
                                    w);
                 },
                 false, "title"},
        // Pages: what the preview can show, checked before anything is allocated.
        WireCase{"Page1Bit", [](QString *w) { return PageCase(Page(283, 354, 1), w); }, true, ""},
        WireCase{"Page24BitLargest",
                 [](QString *w) { return PageCase(Page(1u << 16, (256u << 20) / 3 / (1u << 16), 24), w); },
                 true, ""},
        WireCase{"PageFourBits", [](QString *w) { return PageCase(Page(100, 100, 4), w); }, false, "4 bits"},
        WireCase{"PageNoWidth", [](QString *w) { return PageCase(Page(0, 100, 1), w); }, false, "0 x 100"},
        WireCase{"PageTooHigh", [](QString *w) { return PageCase(Page(8, (1u << 20) + 1, 1), w); }, false,
                 "a side"},
        WireCase{"PageTooManyBytes", [](QString *w) { return PageCase(Page(1u << 20, 1u << 20, 8), w); },
                 false, "MiB"},
        WireCase{"PageNoResolution", [](QString *w) { return PageCase(Page(8, 8, 1, 0), w); }, false,
                 "resolution"},
        WireCase{"PageAbsurdResolution", [](QString *w) { return PageCase(Page(8, 8, 1, kMaxDpi + 1), w); },
                 false, "resolution"},
        WireCase{"PageZero", [](QString *w) { return PageCase(Page(8, 8, 1, 300, 0), w); }, false,
                 "page number"},
        // The rows' place on the whole page: they must lie on it, and the whole page within the limits.
        WireCase{"PagePlaced",
                 [](QString *w) { return RoundTrip(Placed(Page(58, 480, 1), 86, 630, 7, 75), w); }, true, ""},
        WireCase{"PagePlacedAtTheEdge",
                 [](QString *w) { return RoundTrip(Placed(Page(58, 480, 24), 86, 630, 28, 150), w); }, true,
                 ""},
        WireCase{"PageRowsPastTheRightEdge",
                 [](QString *w) { return PageCase(Placed(Page(58, 480, 1), 86, 630, 29, 75), w); }, false,
                 "off the whole page"},
        WireCase{"PageRowsPastTheBottom",
                 [](QString *w) { return PageCase(Placed(Page(58, 480, 1), 86, 630, 7, 151), w); }, false,
                 "off the whole page"},
        WireCase{"PageOffsetThatWrapsAround",
                 [](QString *w) { return PageCase(Placed(Page(58, 480, 1), 86, 630, 0xFFFFFFF0u, 0), w); },
                 false, "off the whole page"},
        WireCase{"PageNoWholePage",
                 [](QString *w) { return PageCase(Placed(Page(58, 480, 1), 0, 0, 0, 0), w); }, false,
                 "whole page of 0 x 0"},
        WireCase{"PageWholePageTooHigh",
                 [](QString *w) { return PageCase(Placed(Page(8, 8, 1), 8, (1u << 20) + 1, 0, 0), w); },
                 false, "a side"},
        WireCase{"PageWholePageTooManyBytes",
                 [](QString *w) { return PageCase(Placed(Page(8, 8, 8), 1u << 20, 1u << 20, 0, 0), w); },
                 false, "MiB"},
        WireCase{"PageMessageShort",
                 [](QString *w) {
                     PageInfo out;
                     return DecodePage(EncodePage(Page(8, 8, 1)).left(32), out, w);
                 },
                 false, "32 bytes"},
        // Who may hand in a job: root and the filter user only.
        WireCase{"FilterRoot", [](QString *w) { return Verdict(Filter(0, kLp), w); }, true, ""},
        WireCase{"FilterLp", [](QString *w) { return Verdict(Filter(kLp, kLp), w); }, true, ""},
        WireCase{"FilterOtherUser", [](QString *w) { return Verdict(Filter(1000, kLp), w); }, false,
                 "uid 1000 is neither"},
        WireCase{"FilterNoFilterUserRootOnly", [](QString *w) { return Verdict(Filter(kLp, kNone), w); },
                 false, "uid 7"},
        WireCase{"FilterUnknownPeer", [](QString *w) { return Verdict(Filter(kNone, kLp), w); }, false,
                 "credentials"},
        // Who may receive a job: only a listener of the job's own user.
        WireCase{"AgentOfTheUser", [](QString *w) { return Verdict(rendezvous::JudgeAgent(1000, 1000), w); },
                 true, ""},
        WireCase{"AgentOfAnotherUser",
                 [](QString *w) { return Verdict(rendezvous::JudgeAgent(1001, 1000), w); }, false,
                 "uid 1001, not as the job's user (uid 1000)"},
        WireCase{"AgentRootForAUser", [](QString *w) { return Verdict(rendezvous::JudgeAgent(0, 1000), w); },
                 false, "uid 0"},
        WireCase{"AgentUnknown", [](QString *w) { return Verdict(rendezvous::JudgeAgent(kNone, 1000), w); },
                 false, "credentials"}),
    [](const auto &param) { return std::string(param.param.name); });

} // namespace

// Whoever holds the agent's name cannot hold the filter in its connect by never accepting: once the
// listener's backlog is full the filter gives up with the reason.
TEST(Rendezvous, AListenerThatNeverAcceptsIsGivenUp)
{
    const uid_t nobodyKnows = 3999999;
    QString why;
    const int listener = rendezvous::Listen(nobodyKnows, &why);
    ASSERT_GE(listener, 0) << why.toStdString();
    std::vector<int> waiting;
    for (int i = 0; i < 64; ++i) {
        const int fd = rendezvous::Connect(nobodyKnows, &why);
        if (fd < 0)
            break;
        waiting.push_back(fd);
    }
    EXPECT_LT(waiting.size(), 64u);
    EXPECT_TRUE(why.contains(QLatin1String("takes no connection"))) << why.toStdString();
    for (int fd : waiting)
        ::close(fd);
    ::close(listener);
}
