// corvane-screenshot OUT.png [ABOUT.png]: opens the preview window offscreen on a sample job of three
// 1-bit pages (written to a temporary folder and removed afterwards) and saves a picture of the whole
// window; with a second name, also one of the about box.
#include "SampleJob.h"

#include "app/CorvaneApp.h"
#include "frame/AboutDlg.h"
#include "frame/MainFrame.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 2 && arguments.size() != 3) {
        std::fprintf(stderr, "usage: corvane-screenshot OUT.png [ABOUT.png]\n");
        return 2;
    }

    QTemporaryDir folder;
    if (!folder.isValid()) {
        std::fprintf(stderr, "cannot create a temporary folder\n");
        return 1;
    }
    SampleJob job;
    job.folder = folder.path() + QDir::separator();
    job.baseName = QStringLiteral("sample");
    if (!WriteSampleJob(job, theApp)) {
        std::fprintf(stderr, "cannot write the sample pages\n");
        return 1;
    }

    auto *frame = new CMainFrame;
    theApp.m_pMainWnd = frame;
    if (!frame->LoadFrame()) {
        std::fprintf(stderr, "the window could not be created\n");
        return 1;
    }
    frame->resize(800, 460);
    frame->show();
    if (!QTest::qWaitForWindowExposed(frame))
        std::fprintf(stderr, "the window was not exposed\n");
    QTest::qWait(100);

    const QPixmap picture = frame->grab();
    if (picture.isNull())
        std::fprintf(stderr, "the window gave no picture\n");
    QDir().mkpath(QFileInfo(arguments.at(1)).absolutePath());
    bool saved = picture.save(arguments.at(1), "PNG");
    if (saved && arguments.size() == 3) {
        CAboutDlg about(frame);
        about.show();
        QTest::qWait(50);
        saved = about.grab().save(arguments.at(2), "PNG");
    }
    theApp.m_pMainWnd = nullptr;
    delete frame;
    if (!saved) {
        std::fprintf(stderr, "cannot write the pictures\n");
        return 1;
    }
    std::printf("%s\n", qPrintable(arguments.at(1)));
    return 0;
}
