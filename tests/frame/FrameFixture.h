#pragma once

// A real preview window on a sample job of 1-bit pages in a temporary folder, with message boxes
// caught by the test seam, and the input helpers the window tests share.
#include "SampleJob.h"

#include "app/CorvaneApp.h"
#include "app/MessageBox.h"
#include "frame/MainFrame.h"
#include "view/ChildView.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QEventLoop>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <functional>
#include <memory>
#include <vector>

class FrameTest : public ::testing::Test {
protected:
    // The settings a test wants to differ from the sample job are set in this hook before the window
    // is built.
    virtual void AdjustJob(SampleJob &) {}
    virtual void AdjustSettings() {}

    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        static_cast<CJobSettings &>(theApp) = CJobSettings(); // fresh settings for every test
        SampleJob job;
        job.folder = m_folder.path() + QStringLiteral("/");
        job.baseName = QStringLiteral("job");
        job.pageCount = 5;
        AdjustJob(job);
        ASSERT_TRUE(WriteSampleJob(job, theApp));
        theApp.m_nCopies = 3;
        theApp.m_strTapeWidth = QStringLiteral("24mm");
        theApp.m_strTapeLength = QStringLiteral("70mm");
        theApp.m_strDocName = QStringLiteral("Label1");
        AdjustSettings();

        SetMessageBoxHook([this](const MessageBoxRequest &request) {
            m_boxes.push_back(request);
            return m_onBox ? m_onBox(request) : IDOK;
        });
        m_frame = std::make_unique<CMainFrame>();
        theApp.m_pMainWnd = m_frame.get();
        ASSERT_TRUE(m_frame->LoadFrame());
        m_frame->resize(1000, 480);
        m_frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_frame.get()));
        m_frame->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_frame.get()));
        RunIdle();
    }

    void TearDown() override
    {
        theApp.m_pMainWnd = nullptr;
        m_frame.reset();
        SetMessageBoxHook({});
    }

    // Lets the event loop run until it is about to wait, which is when the idle update runs.
    static void RunIdle(int ms = 5)
    {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    }

    CChildView *View() const { return m_frame->GetActiveView(); }
    QComboBox *ZoomBox() const { return m_frame->GetZoomBox(); }
    QLineEdit *PageBox() const { return m_frame->GetPageBox(); }
    QString PaneText(int nID) const { return m_frame->GetPane(nID)->text(); }
    QToolButton *Button(int nID) const
    {
        return qobject_cast<QToolButton *>(m_frame->m_wndToolBar->widgetForAction(m_frame->GetCommand(nID)));
    }

    // Clicks into a box as the user would: the focus arrives, then the posted select-all.
    void ClickInto(QWidget *box)
    {
        QWidget *target = box;
        if (auto *combo = qobject_cast<QComboBox *>(box))
            target = combo->lineEdit();
        QTest::mouseClick(target, Qt::LeftButton, {}, QPoint(5, target->height() / 2));
        RunIdle();
    }

    // Types text into the focused box: Latin-1 characters as key presses, the others as the commit of
    // an input method (the way a Japanese input method delivers full-width text).
    static void Type(QWidget *box, const QString &text)
    {
        for (const QChar c : text) {
            if (c.unicode() < 0x80) {
                QTest::keyClick(box, c.toLatin1());
            } else {
                QInputMethodEvent commit;
                commit.setCommitString(QString(c));
                QApplication::sendEvent(QApplication::focusWidget(), &commit);
            }
        }
    }

    // Replaces the box's text by text and presses Enter.
    void Confirm(QWidget *box, const QString &text)
    {
        ClickInto(box);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Delete);
        Type(QApplication::focusWidget(), text);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        RunIdle();
    }

    // Stands in for a message box that takes the activation and the focus: a modal dialog owned by
    // the window, running its own loop until whileUp has looked at the window.
    static int TakeFocusLikeABox(const MessageBoxRequest &request, const std::function<void()> &whileUp)
    {
        QDialog box(request.owner);
        QTimer::singleShot(0, &box, [&] {
            EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &box; }));
            whileUp();
            box.accept();
        });
        box.exec();
        return IDOK;
    }

    // Moves the keyboard focus to the page view.
    void LeaveToView()
    {
        View()->setFocus(Qt::MouseFocusReason);
        RunIdle();
    }

    QTemporaryDir m_folder;
    std::unique_ptr<CMainFrame> m_frame;
    std::vector<MessageBoxRequest> m_boxes;
    std::function<int(const MessageBoxRequest &)> m_onBox;
};
