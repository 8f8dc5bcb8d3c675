// corvane-screenshot OUT.png [ABOUT.png] [--loupe LOUPE.png]: opens the preview window offscreen, on a
// 1366 x 768 screen at the size the window chooses, on a sample job of three 1-bit pages (written to a
// temporary folder and removed afterwards) and saves a picture of the whole window; with a second
// name, also one of the about box; with --loupe, one of the window with the loupe held over the row of
// bars.
#include "SampleJob.h"

#include "app/CorvaneApp.h"
#include "frame/AboutDlg.h"
#include "frame/MainFrame.h"
#include "view/ChildView.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

// The offscreen platform with one screen of 1366 x 768 pixels at 96 dpi, a common laptop display: the
// window takes the size it chooses on such a screen. The description goes into folder.
void UseOffscreenScreen(const QTemporaryDir &folder)
{
    const QString path = folder.filePath(QStringLiteral("screens.json"));
    QFile file(path);
    if (folder.isValid() && file.open(QIODevice::WriteOnly)) {
        file.write(R"({"screens": [{"name": "laptop", "x": 0, "y": 0, "width": 1366, "height": 768,
                      "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
        file.close();
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + QFile::encodeName(path));
    } else {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
}

const char kUsage[] = "usage: corvane-screenshot OUT.png [ABOUT.png] [--loupe LOUPE.png]\n";

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir screens;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        UseOffscreenScreen(screens);
    QApplication application(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    if (arguments.contains(QStringLiteral("--help")) || arguments.contains(QStringLiteral("-h"))) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    QString loupePath;
    const qsizetype loupeAt = arguments.indexOf(QStringLiteral("--loupe"));
    if (loupeAt > 0 && loupeAt + 1 < arguments.size()) {
        loupePath = arguments.at(loupeAt + 1);
        arguments.remove(loupeAt, 2);
    }
    // Anything else that looks like an option is one this tool does not know, never a file name.
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments.at(i).startsWith(u'-')) {
            std::fprintf(stderr, "corvane-screenshot: unknown option %s\n", qPrintable(arguments.at(i)));
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    if (arguments.size() != 2 && arguments.size() != 3) {
        std::fputs(kUsage, stderr);
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
    // The size the window chooses for itself on the screen.
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
    if (saved && !loupePath.isEmpty()) {
        // The middle button held over the bars of the first page, left of its centre: the page is
        // centred in the view, its bars in the lower part of the tape.
        QWidget *viewport = frame->GetActiveView() ? frame->GetActiveView()->viewport() : nullptr;
        if (viewport) {
            const QPoint pointer(viewport->width() / 2 - 60, viewport->height() / 2 + 28);
            QTest::mousePress(viewport, Qt::MiddleButton, {}, pointer);
            QTest::qWait(50);
            QDir().mkpath(QFileInfo(loupePath).absolutePath());
            saved = frame->grab().save(loupePath, "PNG");
            QTest::mouseRelease(viewport, Qt::MiddleButton, {}, pointer);
        } else {
            saved = false;
        }
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
