// The real corvane-preview as a process, on a machine without a display: the start fails for want of
// a window, and the exit processing still runs (its messages on stderr, the files, the end
// notification, exit code 0). No X server is needed.
#include "res/Format.h"
#include "res/Resource.h"
#include "res/StringTable.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {

struct ProcessRun {
    int exitCode = -1;
    QString output; // stdout and stderr
};

QProcessEnvironment WithoutDisplay()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    return env;
}

ProcessRun Start(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessEnvironment(WithoutDisplay());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    ProcessRun run;
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished(5000);
    } else if (process.exitStatus() == QProcess::NormalExit) {
        run.exitCode = process.exitCode();
    }
    run.output = QString::fromUtf8(process.readAll());
    return run;
}

// corvane-driver on a 3-page job in dir; the preview's own output is read back from a file.
ProcessRun Driver(const QString &dir, const QStringList &options, QString *previewOutput)
{
    const QString outputFile = dir + QStringLiteral("/preview-output");
    ProcessRun run =
        Start(QStringLiteral(CORVANE_BINARY_DIR "/corvane-driver"),
              QStringList{QStringLiteral("--preview"), QStringLiteral(CORVANE_BINARY_DIR "/corvane-preview"),
                          QStringLiteral("--pages"), QStringLiteral("3"), QStringLiteral("--dir"),
                          dir + QStringLiteral("/job"), QStringLiteral("--no-reports"),
                          QStringLiteral("--preview-output"), outputFile} +
                  options);
    QFile file(outputFile);
    if (file.open(QIODevice::ReadOnly))
        *previewOutput = QString::fromUtf8(file.readAll());
    return run;
}

const QString kNoDisplayLine = QStringLiteral("corvane-preview: no display");

// The window cannot be made: page 1 and the leftovers, the job file, then WM_PREVIEW_ENDED.
TEST(PreviewWithoutDisplay, EndsLikeAStartWhoseWindowFailed)
{
    QTemporaryDir dir;
    QString preview;
    const ProcessRun run = Driver(dir.path(), {}, &preview);
    EXPECT_EQ(run.exitCode, 3) << run.output.toStdString(); // no window was announced
    EXPECT_TRUE(run.output.contains(QStringLiteral("at WM_PREVIEW_ENDED: every job file is gone")))
        << run.output.toStdString();
    EXPECT_TRUE(run.output.contains(QStringLiteral("preview exited with code 0")));
    EXPECT_TRUE(run.output.contains(QStringLiteral("left on disk: nothing")));
    EXPECT_TRUE(preview.contains(kNoDisplayLine)) << preview.toStdString();
    // The preview's own reason, not the toolkit's advice to reinstall it.
    EXPECT_FALSE(preview.contains(QStringLiteral("Reinstalling"))) << preview.toStdString();
    EXPECT_FALSE(preview.contains(QStringLiteral("platform plugin"))) << preview.toStdString();
}

// A close request from the driver while the end notification waits: no window is left to close, so
// the preview waits on for the answer, here a refusal, which it reports.
TEST(PreviewWithoutDisplay, CloseRequestDoesNotEndTheWaitForTheEndAnswer)
{
    QTemporaryDir dir;
    QString preview;
    const ProcessRun run = Driver(
        dir.path(), {QStringLiteral("--ended"), QStringLiteral("refuse"), QStringLiteral("--ended-close")},
        &preview);
    EXPECT_TRUE(run.output.contains(QStringLiteral("preview exited with code 0")))
        << run.output.toStdString();
    EXPECT_TRUE(preview.contains(FormatResString(IDS_ERR_DRIVER_NOTIFY, {239}))) << preview.toStdString();
}

// Error 294 with a "%05d" inside FilePath: no page template exists, so nothing beside the job is
// deleted; the message goes to stderr.
TEST(PreviewWithoutDisplay, FilePathDirectiveAfterError294DeletesNothing)
{
    QTemporaryDir dir;
    const QString job = dir.filePath(QStringLiteral("job.ini"));
    QFile file(job);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[DRVSPEC]\nMaxTapeWidth=24\nMaxTapeLength=50\n[BMPFILE]\nFilePath=" +
               dir.filePath(QStringLiteral("keep%05d")).toUtf8() + "\n");
    file.close();
    QFile keep(dir.filePath(QStringLiteral("keep00001")));
    ASSERT_TRUE(keep.open(QIODevice::WriteOnly));
    keep.close();

    const ProcessRun run = Start(QStringLiteral(CORVANE_BINARY_DIR "/corvane-preview"),
                                 {QStringLiteral("/INI=") + job, QStringLiteral("/HWND=zz")});
    EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
    EXPECT_TRUE(run.output.contains(FormatResString(IDS_ERR_JOB_FILE, {294}))) << run.output.toStdString();
    EXPECT_TRUE(QFile::exists(keep.fileName()));
    EXPECT_TRUE(QFile::exists(job));
}

} // namespace
