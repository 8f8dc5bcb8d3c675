// Start and exit of the application object in-process: the failed-start table, the exit
// notification and its refusal, with a real socket pair as the driver's window.
#include "app/CorvaneApp.h"
#include "app/MessageBox.h"
#include "app/SignalRelay.h"
#include "frame/MainFrame.h"
#include "res/Format.h"
#include "res/Resource.h"
#include "res/StringTable.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <ostream>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct Frame {
    quint32 kind;
    quint32 message;
    quint64 serial;
    quint64 wParam;
    qint64 lParam;
};

// 32 bytes, little-endian: kind, message, serial, wParam, lParam.
void Encode(const Frame &f, unsigned char *out)
{
    const auto put = [&out](quint64 v, int nBytes, int at) {
        for (int i = 0; i < nBytes; ++i)
            out[at + i] = static_cast<unsigned char>(v >> (8 * i));
    };
    put(f.kind, 4, 0);
    put(f.message, 4, 4);
    put(f.serial, 8, 8);
    put(f.wParam, 8, 16);
    put(quint64(f.lParam), 8, 24);
}

Frame Decode(const unsigned char *in)
{
    const auto get = [in](int nBytes, int at) {
        quint64 v = 0;
        for (int i = 0; i < nBytes; ++i)
            v |= quint64(in[at + i]) << (8 * i);
        return v;
    };
    return Frame{quint32(get(4, 0)), quint32(get(4, 4)), get(8, 8), get(8, 16), qint64(get(8, 24))};
}

// The driver's end: a thread that records every frame and answers each send with the result set
// for its message (0 when none is set).
class FakeDriver {
public:
    FakeDriver()
    {
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, fds) == 0) {
            m_nPreviewFd = fds[0];
            m_nDriverFd = fds[1];
        }
        m_thread = std::thread([this] { Loop(); });
    }
    ~FakeDriver()
    {
        m_bStop = true;
        m_thread.join();
        ::close(m_nDriverFd);
        // The link closes the end it took; an end it never took is closed here.
        if (m_nPreviewFd >= 0 && ::fcntl(m_nPreviewFd, F_GETFD) >= 0 && !m_bPreviewEndTaken)
            ::close(m_nPreviewFd);
    }
    QString HandleArgument() const { return QStringLiteral("/HWND=%1").arg(m_nPreviewFd, 0, 16); }
    void SetReply(quint32 message, qint64 result)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_replies[message] = result;
    }
    void Post(quint32 message, quint64 wParam, qint64 lParam)
    {
        unsigned char bytes[32];
        Encode(Frame{1, message, ++m_nSerial, wParam, lParam}, bytes);
        ASSERT_EQ(::send(m_nDriverFd, bytes, sizeof bytes, MSG_NOSIGNAL), 32);
    }
    std::vector<Frame> Received()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_frames;
    }
    // The messages received so far, kind by kind ("P8001" for a post, "S8005" for a send).
    std::vector<std::string> Messages()
    {
        std::vector<std::string> out;
        for (const Frame &f : Received())
            out.push_back((f.kind == 1   ? "P"
                           : f.kind == 2 ? "S"
                                         : "?") +
                          QString::number(f.message, 16).toStdString());
        return out;
    }
    // After a start that stored the handle, the preview's link owns its end.
    void PreviewEndTaken() { m_bPreviewEndTaken = true; }

private:
    void Loop()
    {
        while (!m_bStop) {
            pollfd p = {m_nDriverFd, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            unsigned char bytes[64];
            const ssize_t n = ::recv(m_nDriverFd, bytes, sizeof bytes, 0);
            if (n <= 0) {
                if (n == 0)
                    return;
                continue;
            }
            if (n != 32)
                continue;
            const Frame f = Decode(bytes);
            qint64 result = 0;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_frames.push_back(f);
                const auto it = m_replies.find(f.message);
                if (it != m_replies.end())
                    result = it->second;
            }
            if (f.kind == 2) {
                unsigned char reply[32];
                Encode(Frame{3, f.message, f.serial, 0, result}, reply);
                ::send(m_nDriverFd, reply, sizeof reply, MSG_NOSIGNAL);
            }
        }
    }

    int m_nPreviewFd = -1;
    int m_nDriverFd = -1;
    bool m_bPreviewEndTaken = false;
    quint64 m_nSerial = 0;
    std::atomic<bool> m_bStop{false};
    std::mutex m_mutex;
    std::vector<Frame> m_frames;
    std::map<quint32, qint64> m_replies;
    std::thread m_thread;
};

void PumpFor(int nMs)
{
    QDeadlineTimer deadline(nMs);
    while (!deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

class AppStart : public ::testing::Test {
protected:
    void SetUp() override
    {
        CSignalRelay::Install();
        static_cast<CJobSettings &>(theApp) = CJobSettings();
        theApp.m_driverLink.Attach(0);
        SetMessageBoxHook([this](const MessageBoxRequest &request) {
            m_boxes.push_back(request);
            return IDOK;
        });
        ASSERT_TRUE(m_dir.isValid());
    }
    void TearDown() override
    {
        theApp.DestroyMainWindow();
        theApp.m_driverLink.Attach(0);
        SetMessageBoxHook(MessageBoxHook());
        static_cast<CJobSettings &>(theApp) = CJobSettings();
        PumpFor(20);
    }

    QString Path(const QString &name) const { return m_dir.filePath(name); }
    // A job whose pages live in the temporary folder; bmpfileTail holds the keys after FileName.
    QString WriteJob(const QByteArray &bmpfileTail = "Copies=1\nTapeWidth=24mm\nTapeLength=50mm\n"
                                                     "DocName=Doc\nDPI=360\nOrientation=1\n",
                     bool bWithFileName = true)
    {
        QByteArray text = "[DRVSPEC]\nMaxTapeWidth=24\nMaxTapeLength=50\n[BMPFILE]\nFilePath=";
        text += QFile::encodeName(m_dir.path()) + "/\n";
        if (bWithFileName)
            text += "FileName=job\n";
        text += bmpfileTail;
        QFile file(Path(QStringLiteral("job.ini")));
        file.open(QIODevice::WriteOnly);
        file.write(text);
        return file.fileName();
    }
    void TouchPages(int nLast)
    {
        for (int n = 1; n <= nLast; ++n) {
            QFile file(Path(QStringLiteral("job_%1.bmp").arg(n, 5, 10, QChar(u'0'))));
            file.open(QIODevice::WriteOnly);
        }
    }
    QStringList Left() const { return QDir(m_dir.path()).entryList(QDir::Files, QDir::Name); }
    void ExpectOneBox(const QString &text)
    {
        ASSERT_EQ(m_boxes.size(), 1u);
        EXPECT_EQ(m_boxes[0].text, text);
        EXPECT_EQ(m_boxes[0].flags, unsigned(MB_OK | MB_SYSTEMMODAL));
        EXPECT_EQ(m_boxes[0].owner, nullptr);
    }

    QTemporaryDir m_dir;
    std::vector<MessageBoxRequest> m_boxes;
};

const QStringList kAllPages = {QStringLiteral("job.ini"), QStringLiteral("job_00001.bmp"),
                               QStringLiteral("job_00002.bmp"), QStringLiteral("job_00003.bmp")};

TEST_F(AppStart, NoArgumentsRefusedWithNothingDeletedOrSent)
{
    FakeDriver driver;
    WriteJob();
    TouchPages(3);
    EXPECT_FALSE(theApp.InitInstance({}));
    ExpectOneBox(LoadResString(IDS_ERR_NOT_FROM_DRIVER));
    EXPECT_EQ(theApp.ExitInstance(), 0);
    EXPECT_EQ(Left(), kAllPages);
    PumpFor(50);
    EXPECT_TRUE(driver.Messages().empty());
}

TEST_F(AppStart, EmptiedJobPathRefused)
{
    FakeDriver driver;
    const QString job = WriteJob();
    EXPECT_FALSE(theApp.InitInstance(
        {QStringLiteral("/INI=") + job, QStringLiteral("/INI="), driver.HandleArgument()}));
    ExpectOneBox(LoadResString(IDS_ERR_NOT_FROM_DRIVER));
    EXPECT_EQ(theApp.ExitInstance(), 0);
    EXPECT_TRUE(QFile::exists(job));
}

struct JobErrorCase {
    const char *name;
    QByteArray tail;
    bool bWithFileName;
    int nError;
    bool bPagesGo; // page 1 and the sweep run
};

void PrintTo(const JobErrorCase &c, std::ostream *os)
{
    *os << c.name;
}

class AppJobError : public AppStart, public ::testing::WithParamInterface<JobErrorCase> {};

TEST_P(AppJobError, ReportsNumberAndLeavesJobFile)
{
    const JobErrorCase &c = GetParam();
    FakeDriver driver;
    WriteJob(c.tail, c.bWithFileName);
    const QString job = Path(QString::fromLatin1(c.nError == 267 ? "absent.ini" : "job.ini"));
    TouchPages(3);
    EXPECT_FALSE(theApp.InitInstance({QStringLiteral("/INI=") + job, driver.HandleArgument()}));
    ExpectOneBox(FormatResString(IDS_ERR_JOB_FILE, {c.nError}));
    EXPECT_EQ(theApp.ExitInstance(), 0);
    EXPECT_EQ(Left(), c.bPagesGo ? QStringList{QStringLiteral("job.ini")} : kAllPages);
    EXPECT_EQ(theApp.m_hDriverWnd, 0u);
    PumpFor(50);
    EXPECT_TRUE(driver.Messages().empty());
    EXPECT_EQ(m_boxes.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, AppJobError,
    ::testing::Values(JobErrorCase{"missingFile", "", true, 267, false},
                      JobErrorCase{"noFileName", "Copies=1\n", false, 294, false},
                      JobErrorCase{"copiesZero", "Copies=0\n", true, 305, true},
                      JobErrorCase{"orientationMissing",
                                   "Copies=1\nTapeWidth=a\nTapeLength=b\nDocName=c\nDPI=360\n", true, 349,
                                   true}),
    [](const ::testing::TestParamInfo<JobErrorCase> &param) { return std::string(param.param.name); });

TEST_F(AppStart, NormalRunDeletesJobAndTellsDriver)
{
    FakeDriver driver;
    const QString job = WriteJob();
    TouchPages(3);
    ASSERT_TRUE(theApp.InitInstance(
        {QStringLiteral("/INI=") + job, driver.HandleArgument(), QStringLiteral("/INI=x")}));
    driver.PreviewEndTaken();
    EXPECT_TRUE(m_boxes.empty());
    EXPECT_EQ(theApp.m_strIniPath, job);
    ASSERT_TRUE(theApp.m_pMainWnd);
    EXPECT_TRUE(theApp.m_pMainWnd->isVisible());
    // The driver's page report reaches the window through the link.
    driver.Post(WM_PREVIEW_PAGES, 2, 1);
    for (int i = 0; i < 200 && theApp.m_nPageCount != 2; ++i)
        PumpFor(10);
    EXPECT_EQ(theApp.m_nPageCount, 2);
    theApp.DestroyMainWindow();
    EXPECT_EQ(theApp.ExitInstance(), 0);
    // Pages 1-2, the job file, then the sweep finds page 3.
    EXPECT_TRUE(Left().isEmpty());
    const std::vector<std::string> messages = driver.Messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.front(), "P8001");
    EXPECT_EQ(messages.back(), "S8005");
    EXPECT_EQ(std::count(messages.begin(), messages.end(), "S8005"), 1);
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(AppStart, RefusedEndNotificationShows804)
{
    FakeDriver driver;
    driver.SetReply(WM_PREVIEW_ENDED, -1);
    ASSERT_TRUE(theApp.InitInstance({QStringLiteral("/INI=") + WriteJob(), driver.HandleArgument()}));
    driver.PreviewEndTaken();
    theApp.DestroyMainWindow();
    EXPECT_EQ(theApp.ExitInstance(), 0);
    ExpectOneBox(FormatResString(IDS_ERR_DRIVER_NOTIFY, {239}));
}

TEST_F(AppStart, UnreadableHandleStartsAndSendsNothing)
{
    FakeDriver driver;
    ASSERT_TRUE(theApp.InitInstance({QStringLiteral("/INI=") + WriteJob(), QStringLiteral("/HWND=zz")}));
    EXPECT_EQ(theApp.m_hDriverWnd, 0u);
    theApp.DestroyMainWindow();
    EXPECT_EQ(theApp.ExitInstance(), 0);
    EXPECT_TRUE(m_boxes.empty());
    EXPECT_FALSE(QFile::exists(Path(QStringLiteral("job.ini"))));
}

TEST_F(AppStart, SignalBeforeWindowEndsStartLikeFailedWindow)
{
    FakeDriver driver;
    TouchPages(3);
    const QString job = WriteJob();
    ::raise(SIGTERM);
    EXPECT_FALSE(theApp.InitInstance({QStringLiteral("/INI=") + job, driver.HandleArgument()}));
    driver.PreviewEndTaken();
    EXPECT_FALSE(CSignalRelay::Pending());
    theApp.DestroyMainWindow();
    EXPECT_EQ(theApp.ExitInstance(), 0);
    EXPECT_TRUE(Left().isEmpty());
    EXPECT_TRUE(m_boxes.empty());
    const std::vector<std::string> messages = driver.Messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(), "S8005");
}

TEST_F(AppStart, SignalWhileRunningClosesWindow)
{
    FakeDriver driver;
    ASSERT_TRUE(theApp.InitInstance({QStringLiteral("/INI=") + WriteJob(), driver.HandleArgument()}));
    driver.PreviewEndTaken();
    ::raise(SIGHUP);
    for (int i = 0; i < 200 && theApp.m_pMainWnd && theApp.m_pMainWnd->isVisible(); ++i)
        PumpFor(10);
    EXPECT_TRUE(!theApp.m_pMainWnd || !theApp.m_pMainWnd->isVisible());
}

} // namespace
