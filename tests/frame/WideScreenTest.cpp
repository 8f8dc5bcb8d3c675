// The stretching status pane on a screen 1366 pixels wide: a quarter of it, 341, before it stretches.
// Runs on the offscreen platform with a screen of that size, so it has its own main.
#include "SampleJob.h"

#include "app/CorvaneApp.h"
#include "frame/MainFrame.h"
#include "res/Resource.h"
#include "view/ChildView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QScreen>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>

namespace {

TEST(WideScreen, LastPaneIsAQuarterOfTheScreen)
{
    ASSERT_EQ(QGuiApplication::primaryScreen()->geometry().width(), 1366);
    QTemporaryDir folder;
    SampleJob job;
    job.folder = folder.path() + QStringLiteral("/");
    job.baseName = QStringLiteral("wide");
    ASSERT_TRUE(WriteSampleJob(job, theApp));
    CMainFrame frame;
    ASSERT_TRUE(frame.LoadFrame());
    QLabel *blank = frame.GetPane(ID_INDICATOR_BLANK);
    EXPECT_EQ(blank->sizeHint().width() - 2 * blank->frameWidth(), 341);
}

// Nothing resizes the window: it opens at three quarters of the 1366 x 768 screen, centred, with the
// toolbar's nine positions and the five panes at their widths whole.
TEST(WideScreen, OpensAtALargeShareOfTheScreen)
{
    QTemporaryDir folder;
    SampleJob job;
    job.folder = folder.path() + QStringLiteral("/");
    job.baseName = QStringLiteral("wide");
    ASSERT_TRUE(WriteSampleJob(job, theApp));
    theApp.m_strTapeWidth = QStringLiteral("24mm");
    CMainFrame frame;
    ASSERT_TRUE(frame.LoadFrame());
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    EXPECT_EQ(frame.geometry(), QRect(171, 96, 1024, 576));
    for (QAction *action : frame.m_wndToolBar->actions()) {
        const QWidget *tool = frame.m_wndToolBar->widgetForAction(action);
        ASSERT_TRUE(tool);
        EXPECT_TRUE(tool->isVisible()) << action->text().toStdString();
        EXPECT_TRUE(frame.m_wndToolBar->rect().contains(tool->geometry())) << action->text().toStdString();
    }
    for (int nID = ID_INDICATOR_PAGE; nID <= ID_INDICATOR_BLANK; ++nID) {
        const QLabel *pane = frame.GetPane(nID);
        EXPECT_GE(pane->width(), pane->sizeHint().width()) << nID;
        EXPECT_TRUE(frame.m_wndStatusBar->rect().contains(pane->geometry())) << nID;
    }
    EXPECT_GT(frame.GetActiveView()->viewport()->height(), 400);
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir config;
    const QString path = config.path() + QStringLiteral("/screens.json");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    file.write(R"({"screens": [{"name": "wide", "x": 0, "y": 0, "width": 1366, "height": 768,
                  "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
    file.close();
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + path.toLocal8Bit());
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
