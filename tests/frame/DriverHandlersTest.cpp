// The preview window's driver-facing handlers against a real socket pair: page reports, the close
// request, print and cancel with the driver's verdict, the close question and the busy cursor.
#include "DriverHandlersFixture.h"

#include "res/Format.h"
#include "res/Resource.h"
#include "res/StringTable.h"
#include "view/ChildView.h"

#include <QLabel>

namespace {

using DriverHandlersTest = DriverHandlersFixture;

TEST_F(DriverHandlersTest, AnnouncesTheWindowIdOnce)
{
    EXPECT_EQ(m_opened.kind, FRAME_POST);
    EXPECT_EQ(m_opened.message, WM_PREVIEW_OPENED);
    EXPECT_EQ(m_opened.wParam, static_cast<quint64>(m_frame->winId()));
    EXPECT_EQ(m_opened.lParam, 0);
    EXPECT_TRUE(m_peer.NothingToRead());
}

struct ReportCase {
    const char *name;
    std::vector<std::pair<quint64, qint64>> reports;
    int count;
    int done;
};
// Test names stay short in listings.
void PrintTo(const ReportCase &c, std::ostream *out)
{
    *out << c.name;
}

class PageReportTest : public DriverHandlersTest, public ::testing::WithParamInterface<ReportCase> {};

TEST_P(PageReportTest, CountAndFlagAsTheyCome)
{
    for (const auto &report : GetParam().reports)
        EXPECT_EQ(m_frame->OnDriverMessage(WM_PREVIEW_PAGES, report.first, report.second), 0);
    EXPECT_EQ(theApp.m_nPageCount, GetParam().count);
    EXPECT_EQ(m_frame->m_bSpoolDone != 0, GetParam().done != 0);
    EXPECT_EQ(PagePane(), FormatString(u"表示ページ : %d/%d", {1, GetParam().count}));
    EXPECT_EQ(m_frame->m_nCurPage, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Reports, PageReportTest,
    ::testing::Values(ReportCase{"LaterReportsIgnoredOnceDone", {{3, 0}, {5, 0}, {6, 1}, {9, 1}}, 6, 1},
                      ReportCase{"ZeroPagesDone", {{0, 1}}, 0, 1},
                      ReportCase{"StillSpooling", {{4, 0}, {2, 0}}, 2, 0},
                      ReportCase{"AllBitsIsMinusOne", {{~quint64(0), 0}}, -1, 0},
                      ReportCase{"HighWordOfCountDropped", {{0x100000005ull, 0}}, 5, 0},
                      ReportCase{"HighWordOfFlagCounts", {{7, qint64(1) << 32}}, 7, 1},
                      ReportCase{"NegativeFlagCounts", {{2, -1}, {8, 0}}, 2, 1}),
    [](const auto &param) { return std::string(param.param.name); });

TEST_F(DriverHandlersTest, BusyCursorUntilCompletionThenArrow)
{
    CChildView *view = m_frame->GetActiveView();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(m_frame->cursor().shape(), Qt::BusyCursor);
    EXPECT_EQ(view->cursor().shape(), Qt::BusyCursor);
    m_frame->OnDriverMessage(WM_PREVIEW_PAGES, 3, 0);
    EXPECT_EQ(view->cursor().shape(), Qt::BusyCursor);
    m_frame->OnDriverMessage(WM_PREVIEW_PAGES, 3, 1);
    EXPECT_EQ(m_frame->cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(view->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(DriverHandlersTest, OnlyTheWholeCloseNumberCloses)
{
    for (const quint32 message : {quint32(0x18004), quint32(WM_PREVIEW_RESULT), quint32(WM_PREVIEW_ENDED),
                                  quint32(WM_PREVIEW_OPENED), quint32(0)})
        EXPECT_EQ(m_frame->OnDriverMessage(message, 1, 1), 0);
    EXPECT_FALSE(Closed());
    EXPECT_EQ(theApp.m_nPageCount, 1);
    EXPECT_EQ(m_frame->OnDriverMessage(WM_PREVIEW_CLOSE, 0, 0), 0);
    EXPECT_TRUE(Closed());
    EXPECT_TRUE(m_boxes.empty());
    EXPECT_TRUE(m_peer.NothingToRead()); // no result
}

TEST_F(DriverHandlersTest, PrintAcceptedClosesWithoutABox)
{
    const auto seen = WithDriver({0}, [&] { m_frame->OnFilePrint(); });
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].kind, FRAME_SEND);
    EXPECT_EQ(seen[0].message, WM_PREVIEW_RESULT);
    EXPECT_EQ(seen[0].wParam, PREVIEW_RESULT_PRINT);
    EXPECT_EQ(seen[0].serial, m_opened.serial + 1);
    EXPECT_TRUE(Closed());
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(DriverHandlersTest, PrintRefusedShows442AndStaysThenPrintsAgain)
{
    auto seen = WithDriver({-1}, [&] { m_frame->OnFilePrint(); });
    ASSERT_EQ(seen.size(), 1u);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text, FormatResString(IDS_ERR_DRIVER_NOTIFY, {442}));
    EXPECT_EQ(m_boxes[0].flags, unsigned(MB_OK));
    EXPECT_EQ(m_boxes[0].owner, m_frame.data());
    EXPECT_FALSE(Closed());

    seen = WithDriver({5}, [&] { m_frame->OnCmdMsg(ID_FILE_PRINT); });
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].wParam, PREVIEW_RESULT_PRINT);
    EXPECT_TRUE(Closed());
}

struct CancelCase {
    const char *name;
    int answer;
    std::vector<qint64> verdicts; // empty: nothing may reach the driver
    bool closed;
    int errorNumber; // 0: no error box
};
// Test names stay short in listings.
void PrintTo(const CancelCase &c, std::ostream *out)
{
    *out << c.name;
}

class CancelTest : public DriverHandlersTest, public ::testing::WithParamInterface<CancelCase> {};

TEST_P(CancelTest, QuestionThenResult)
{
    const CancelCase &c = GetParam();
    m_boxAnswer = [&](const MessageBoxRequest &r) {
        return r.flags == (MB_YESNO | MB_ICONQUESTION) ? c.answer : IDOK;
    };
    const auto seen = WithDriver(c.verdicts, [&] { m_frame->OnCmdMsg(ID_APP_EXIT); });
    ASSERT_GE(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text, LoadResString(IDS_CONFIRM_CANCEL));
    EXPECT_EQ(m_boxes[0].flags, unsigned(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(m_boxes[0].owner, m_frame.data());
    ASSERT_EQ(seen.size(), c.verdicts.size());
    if (!seen.empty()) {
        EXPECT_EQ(seen[0].wParam, PREVIEW_RESULT_CANCEL);
    }
    EXPECT_TRUE(m_peer.NothingToRead());
    EXPECT_EQ(Closed(), c.closed);
    if (c.errorNumber) {
        ASSERT_EQ(m_boxes.size(), 2u);
        EXPECT_EQ(m_boxes[1].text, FormatResString(IDS_ERR_DRIVER_NOTIFY, {c.errorNumber}));
    } else {
        EXPECT_EQ(m_boxes.size(), 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, CancelTest,
                         ::testing::Values(CancelCase{"No", IDNO, {}, false, 0},
                                           CancelCase{"YesAccepted", IDYES, {0}, true, 0},
                                           CancelCase{"YesRefused", IDYES, {-1}, false, 472}),
                         [](const auto &param) { return std::string(param.param.name); });

TEST_F(DriverHandlersTest, SystemCommandsOtherThanTheWholeCloseCodeDoNothing)
{
    for (const unsigned code : {0xF061u, 0xF06Fu, 0xF020u, 0x1F060u, 0u})
        m_frame->OnSysCommand(code, 0);
    EXPECT_TRUE(m_boxes.empty());
    EXPECT_FALSE(Closed());
    EXPECT_TRUE(m_peer.NothingToRead());
}

TEST_F(DriverHandlersTest, CloseTheProgramAsksForGoesThrough)
{
    m_frame->close();
    EXPECT_TRUE(Closed());
    EXPECT_TRUE(m_boxes.empty());
    EXPECT_TRUE(m_peer.NothingToRead());
}

} // namespace
