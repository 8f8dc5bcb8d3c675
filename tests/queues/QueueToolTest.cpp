// corvane-ppd and corvane-queue against a private CUPS scheduler that, like an installed one, lets only
// administrators change queues: the preview PPD taken by lpadmin, preview queues added, listed and
// removed, each refusal, and the wrapped queue left exactly as it was.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <unistd.h>

namespace {

struct CRun {
    int exit = -1;
    QByteArray out, err;
};

class QueueTool : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (geteuid() != 0 ||
            QStandardPaths::findExecutable(QStringLiteral("cupsd"), {QStringLiteral("/usr/sbin")})
                .isEmpty()) {
            s_skip = "NOT RUN: needs root and cupsd (package cups-daemon) for a private CUPS scheduler";
            return;
        }
        s_dir = new QTemporaryDir(QStringLiteral(CORVANE_BINARY_DIR "/queue-test-XXXXXX"));
        // The scheduler's filter user and the test's unprivileged user must reach what is inside.
        QFile::setPermissions(s_dir->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                 QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                                 QFile::ExeOther);
        QFile filter(s_dir->filePath(QStringLiteral("corvane-cups")));
        filter.open(QIODevice::WriteOnly);
        filter.write("#!/bin/sh\nexit 0\n");
        filter.close();
        const CRun start =
            Exec(QStringLiteral("bash"), {QStringLiteral(CORVANE_SOURCE_DIR "/scripts/private-cupsd.sh"),
                                          QStringLiteral("start-admin"), Path("cups"), filter.fileName()});
        if (start.exit != 0)
            s_skip = "private cupsd did not start: " + start.err;
        Exec(QStringLiteral("ppdc"),
             {QStringLiteral("-d"), Path("ppds"), QStringLiteral("/usr/share/cups/drv/sample.drv")});
    }
    static void TearDownTestSuite()
    {
        if (s_dir)
            Exec(QStringLiteral("bash"), {QStringLiteral(CORVANE_SOURCE_DIR "/scripts/private-cupsd.sh"),
                                          QStringLiteral("stop"), Path("cups")});
        delete s_dir;
        s_dir = nullptr;
    }
    void SetUp() override
    {
        if (!s_skip.isEmpty())
            GTEST_SKIP() << s_skip.constData();
    }

    static QString Path(const char *name) { return s_dir->filePath(QString::fromLatin1(name)); }

    // program with arguments, talking to the private scheduler (or to server), as root or as nobody.
    static CRun Exec(const QString &program, QStringList arguments, bool nobody = false,
                     const QString &server = QString())
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("CUPS_SERVER"), server.isEmpty() ? Path("cups/cups.sock") : server);
        process.setProcessEnvironment(environment);
        if (nobody) {
            arguments.prepend(program);
            arguments = QStringList{QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                                    QStringLiteral("--clear-groups")} +
                        arguments;
        }
        process.start(nobody ? QStringLiteral("setpriv") : program, arguments);
        process.waitForFinished(60000);
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                process.readAllStandardOutput(), process.readAllStandardError()};
    }
    static CRun Queue(const QStringList &arguments, bool nobody = false, const QString &server = QString())
    {
        return Exec(QStringLiteral(CORVANE_BINARY_DIR "/corvane-queue"), arguments, nobody, server);
    }
    static QByteArray Lp(const QString &program, const QStringList &arguments)
    {
        const CRun run = Exec(program, arguments);
        EXPECT_EQ(run.exit, 0) << program.toStdString() << ": " << run.err.constData();
        return run.out;
    }
    static QByteArray FileText(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    static inline QTemporaryDir *s_dir = nullptr;
    static inline QByteArray s_skip;
};

// A command line's words; none of them holds a blank.
QStringList W(const char *words)
{
    return QString::fromUtf8(words).split(u' ');
}

TEST_F(QueueTool, LpadminTakesCorvanePpdOutput)
{
    const CRun ppd = Exec(QStringLiteral(CORVANE_BINARY_DIR "/corvane-ppd"),
                          {Path("ppds/zebra.ppd"), QStringLiteral("-o"), Path("zebra-preview.ppd")});
    ASSERT_EQ(ppd.exit, 0) << ppd.err.constData();
    const QString lpadmin = QStringLiteral("lpadmin");
    Lp(lpadmin, W("-p zp -E -v file:///dev/null -P") << Path("zebra-preview.ppd"));
    Lp(lpadmin, W("-p zp -o CorvaneWithoutSession=Drop"));
    const QByteArray options = Lp(QStringLiteral("lpoptions"), W("-p zp"));
    EXPECT_TRUE(options.contains("printer-make-and-model='Zebra ZPL Label Printer with Preview'"))
        << options.data();
    EXPECT_TRUE(options.contains("printer-is-accepting-jobs=true")) << options.data();
    const QByteArray installed = FileText(Path("cups/ppd/zp.ppd"));
    EXPECT_TRUE(installed.contains("\n*DefaultCorvaneWithoutSession: Drop\n"));
    EXPECT_TRUE(installed.contains("\n*cupsFilter: \"application/vnd.cups-raster 50 corvane-cups\"\n"));
    Lp(lpadmin, W("-x zp"));
}

TEST_F(QueueTool, AddListRemoveAndRefusals)
{
    const QString lpadmin = QStringLiteral("lpadmin");
    Lp(lpadmin, W("-p direct -E -v file:///dev/null -L Shelf-3 -P") << Path("ppds/dymo.ppd"));
    Lp(lpadmin,
       W("-p direct -o PageSize=w101h252 -o job-priority-default=20 -o printer-error-policy=abort-job"));
    Lp(lpadmin, W("-p ps -E -v file:///dev/null -P") << Path("ppds/generic.ppd"));
    Lp(lpadmin, W("-p raw -E -v file:///dev/null"));
    // A printer that takes only Apple raster: no input the preview reads.
    QFile urf(Path("urf.ppd"));
    ASSERT_TRUE(urf.open(QIODevice::WriteOnly));
    urf.write(FileText(Path("ppds/dymo.ppd"))
                  .replace("*cupsFilter: \"application/vnd.cups-raster 50 rastertolabel\"",
                           "*cupsFilter2: \"image/urf image/urf 100 -\""));
    urf.close();
    Lp(lpadmin, W("-p urf -E -v file:///dev/null -P") << urf.fileName());
    const auto snapshot = [&]() {
        return FileText(Path("cups/ppd/direct.ppd")) + Lp(QStringLiteral("lpoptions"), W("-p direct")) +
               Lp(QStringLiteral("lpstat"), W("-l -p direct")) + Lp(QStringLiteral("lpstat"), W("-v direct"));
    };
    const QByteArray original = snapshot();

    CRun run = Queue(W("add direct"));
    ASSERT_EQ(run.exit, 0) << run.err.constData();
    EXPECT_EQ(run.out, "added direct-preview, the preview queue of direct\n");
    const QByteArray options = Lp(QStringLiteral("lpoptions"), W("-p direct-preview"));
    for (const char *expected :
         {"device-uri=file:///dev/null", "job-priority=20", "printer-location=Shelf-3",
          "printer-info='direct with preview'", "printer-is-accepting-jobs=true", "printer-state=3",
          "printer-make-and-model='DYMO Label Printer with Preview'"})
        EXPECT_TRUE(options.contains(expected)) << expected << " not in " << options.constData();
    const QByteArray ppd = FileText(Path("cups/ppd/direct-preview.ppd"));
    EXPECT_TRUE(ppd.contains("\n*DefaultPageSize: w101h252\n"));
    EXPECT_TRUE(ppd.contains("\n*CorvaneWraps: \"direct\"\n"));
    EXPECT_TRUE(ppd.contains("\n*CorvaneFilter: \"application/vnd.cups-raster 50 rastertolabel\"\n"));

    run = Queue(W("add direct --name second"));
    EXPECT_EQ(run.exit, 0) << run.err.constData();
    // A PostScript printer: corvane-cups in front of the device, which takes PostScript as it is.
    run = Queue(W("add ps"));
    EXPECT_EQ(run.exit, 0) << run.err.constData();
    EXPECT_TRUE(FileText(Path("cups/ppd/ps-preview.ppd"))
                    .contains("\n*CorvaneFilter: \"application/vnd.cups-postscript 0 -\"\n"));
    run = Queue(W("list"), true);
    EXPECT_EQ(run.exit, 0) << run.err.constData();
    EXPECT_EQ(run.out, "direct-preview\tdirect\nps-preview\tps\nsecond\tdirect\n");

    const struct {
        const char *arguments;
        bool nobody;
        const char *error;
    } refusals[] = {
        {"add nope", false, "no queue named nope"},
        {"add urf", false,
         "urf: the printer takes none of the inputs a preview stage reads (CUPS or PWG raster, PDF, "
         "PostScript): its *cupsFilter2 lines are for image/urf"},
        {"add raw", false, "raw is a raw queue: it has no PPD, so jobs go to the device as they were sent"},
        {"add direct", false, "a queue named direct-preview exists already"},
        {"add second", false, "second is a preview queue itself"},
        {"add direct --name a/b", false, "a/b cannot name a queue"},
        {"remove direct", false, "direct is not a preview queue"},
        {"remove nope", false, "no queue named nope"},
        {"add direct --name third", true,
         "no permission to change CUPS queues: run corvane-queue as root (sudo) or as a member of the "
         "lpadmin group"},
        {"remove second", true, "no permission to change CUPS queues"},
    };
    for (const auto &refusal : refusals) {
        SCOPED_TRACE(refusal.arguments);
        run = Queue(W(refusal.arguments), refusal.nobody);
        EXPECT_EQ(run.exit, 1);
        EXPECT_TRUE(run.err.startsWith("corvane-queue: " + QByteArray(refusal.error))) << run.err.constData();
        EXPECT_EQ(run.err.count('\n'), 1);
    }
    run = Queue(W("list"), false, Path("nothing.sock"));
    EXPECT_EQ(run.exit, 1);
    EXPECT_TRUE(run.err.startsWith("corvane-queue: CUPS is not running")) << run.err.constData();
    EXPECT_TRUE(run.err.contains("systemctl start cups or service cups start")) << run.err.constData();
    EXPECT_EQ(Queue(W("add")).exit, 2);
    EXPECT_EQ(Queue(W("-h")).exit, 0);

    for (const char *name : {"direct-preview", "second", "ps-preview"}) {
        run = Queue({QStringLiteral("remove"), QString::fromLatin1(name)});
        EXPECT_EQ(run.exit, 0) << run.err.constData();
        EXPECT_EQ(run.out, "removed " + QByteArray(name) + '\n');
    }
    EXPECT_EQ(Queue(W("list")).out, "");
    EXPECT_EQ(snapshot(), original);
}

} // namespace
