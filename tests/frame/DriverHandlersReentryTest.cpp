// Requests that come while a handler of the preview window waits: inside one of its message boxes, or
// while a result waits for the driver's reply. The window is closed, never used after it is gone, and
// at most one result is sent for each decision.
#include "DriverHandlersFixture.h"

#include "res/Format.h"
#include "res/Resource.h"
#include "res/StringTable.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

namespace {

using DriverHandlersReentryTest = DriverHandlersFixture;

bool IsQuestion(const MessageBoxRequest &request)
{
    return request.flags == (MB_YESNO | MB_ICONQUESTION);
}

TEST_F(DriverHandlersReentryTest, CloseRequestDuringTheQuestionClosesWithoutResult)
{
    // The driver's close arrives while the question is up: the box ends without an answer
    // (AbortMessageBoxes makes it IDCANCEL) and the window closes.
    m_boxAnswer = [&](const MessageBoxRequest &) {
        m_frame->OnDriverMessage(WM_PREVIEW_CLOSE, 0, 0);
        EXPECT_FALSE(Closed()); // not while the box is still on the stack
        return IDCANCEL;
    };
    m_frame->OnAppExit();
    EXPECT_TRUE(Closed());
    EXPECT_EQ(m_boxes.size(), 1u);
    EXPECT_TRUE(m_peer.NothingToRead());
}

TEST_F(DriverHandlersReentryTest, CloseRequestDuringTheQuestionWinsOverYes)
{
    m_boxAnswer = [&](const MessageBoxRequest &) {
        m_frame->OnPreviewClose(0, 0);
        return IDYES;
    };
    m_frame->OnSysCommand(SC_CLOSE, 0);
    EXPECT_TRUE(Closed());
    EXPECT_TRUE(m_peer.NothingToRead());
}

TEST_F(DriverHandlersReentryTest, CloseRequestDuringTheRefusalBoxCloses)
{
    m_boxAnswer = [&](const MessageBoxRequest &request) {
        if (IsQuestion(request))
            return IDYES;
        m_frame->OnPreviewClose(0, 0);
        return IDCANCEL;
    };
    const auto seen = WithDriver({-1}, [&] { m_frame->OnAppExit(); });
    ASSERT_EQ(seen.size(), 1u);
    ASSERT_EQ(m_boxes.size(), 2u);
    EXPECT_EQ(m_boxes[1].text, FormatResString(IDS_ERR_DRIVER_NOTIFY, {472}));
    EXPECT_TRUE(Closed());
    EXPECT_TRUE(m_peer.NothingToRead());
}

TEST_F(DriverHandlersReentryTest, CloseRequestWhileTheResultWaitsEndsTheWait)
{
    // The driver answers the result with a close request instead of a reply: the wait ends, no refusal
    // is shown and the window closes.
    const auto seen = WithDriver({kCloseInstead}, [&] { m_frame->OnFilePrint(); });
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(theApp.m_driverLink.LastSendAborted());
    EXPECT_TRUE(Closed());
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(DriverHandlersReentryTest, NoSecondDecisionWhileABoxIsUp)
{
    // Print, cancel and a close from the window system while the question is open: none of them
    // asks again or sends anything.
    m_boxAnswer = [&](const MessageBoxRequest &) {
        m_frame->OnFilePrint();
        m_frame->OnAppExit();
        m_frame->OnSysCommand(SC_CLOSE, 0);
        return IDNO;
    };
    m_frame->OnAppExit();
    EXPECT_EQ(m_boxes.size(), 1u);
    EXPECT_TRUE(m_peer.NothingToRead());
}

TEST_F(DriverHandlersReentryTest, NothingAfterTheAcceptedResult)
{
    const auto seen = WithDriver({0}, [&] { m_frame->OnFilePrint(); });
    ASSERT_EQ(seen.size(), 1u);
    ASSERT_TRUE(Closed());
    m_frame->OnFilePrint();
    m_frame->OnAppExit();
    EXPECT_TRUE(m_boxes.empty());
    EXPECT_TRUE(m_peer.NothingToRead());
}

TEST_F(DriverHandlersReentryTest, WindowDestroyedDuringTheQuestion)
{
    m_boxAnswer = [&](const MessageBoxRequest &) {
        delete m_frame.data();
        return IDYES;
    };
    CMainFrame *frame = m_frame;
    frame->OnSysCommand(SC_CLOSE, 0);
    EXPECT_TRUE(m_frame.isNull());
    EXPECT_TRUE(m_peer.NothingToRead());
}

TEST_F(DriverHandlersReentryTest, RealBoxEndedByTheCloseRequest)
{
    // Without the hook: a real window-modal box, ended from the event loop as the driver's close request
    // ends it.
    SetMessageBoxHook({});
    QTimer::singleShot(50, m_frame, [&] {
        EXPECT_NE(QApplication::activeModalWidget(), nullptr);
        m_frame->OnDriverMessage(WM_PREVIEW_CLOSE, 0, 0);
    });
    m_frame->OnAppExit();
    EXPECT_TRUE(Closed());
    EXPECT_TRUE(m_peer.NothingToRead());
}

} // namespace
