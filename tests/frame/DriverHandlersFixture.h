#pragma once

// The preview window on the offscreen platform with its driver link attached to a real socket pair;
// message boxes are answered by the test.
#include "app/CorvaneApp.h"
#include "app/DriverLinkPeer.h"
#include "app/MessageBox.h"
#include "frame/MainFrame.h"
#include "res/Resource.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPointer>

#include <functional>
#include <thread>
#include <vector>

constexpr unsigned SC_CLOSE = 0xF060;

class DriverHandlersFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        theApp.m_nPageCount = 1;
        theApp.m_driverLink.Attach(static_cast<quint64>(m_peer.PreviewFd()));
        SetMessageBoxHook([this](const MessageBoxRequest &request) {
            m_boxes.push_back(request);
            return m_boxAnswer ? m_boxAnswer(request) : IDOK;
        });
        m_frame = new CMainFrame;
        ASSERT_TRUE(m_frame->LoadFrame());
        m_frame->show();
        DriverFrame opened;
        ASSERT_TRUE(m_peer.Read(opened));
        m_opened = opened;
    }

    void TearDown() override
    {
        SetMessageBoxHook({});
        delete m_frame.data();
        theApp.m_driverLink.Attach(0);
        theApp.m_nPageCount = 1;
    }

    // Runs action while a thread plays the driver: each WM_PREVIEW_RESULT it reads is answered with the
    // next verdict (a verdict of kCloseInstead posts WM_PREVIEW_CLOSE instead of replying).
    static constexpr qint64 kCloseInstead = 1000;
    std::vector<DriverFrame> WithDriver(const std::vector<qint64> &verdicts,
                                        const std::function<void()> &action)
    {
        std::vector<DriverFrame> seen;
        std::thread driver([&] {
            for (const qint64 verdict : verdicts) {
                DriverFrame frame;
                if (!m_peer.Read(frame, 3000))
                    return;
                seen.push_back(frame);
                if (verdict == kCloseInstead)
                    m_peer.Write(MakeFrame(FRAME_POST, WM_PREVIEW_CLOSE, 1));
                else
                    m_peer.Write(MakeFrame(FRAME_REPLY, frame.message, frame.serial, 0, verdict));
            }
        });
        action();
        driver.join();
        PumpNow();
        return seen;
    }

    QString PagePane() const { return m_frame->GetPane(ID_INDICATOR_PAGE)->text(); }
    bool Closed() const { return !m_frame || !m_frame->isVisible(); }

    CDriverPeer m_peer{SOCK_SEQPACKET};
    QPointer<CMainFrame> m_frame;
    DriverFrame m_opened;
    std::vector<MessageBoxRequest> m_boxes;
    std::function<int(const MessageBoxRequest &)> m_boxAnswer;
};
