// Every tool answers --help with its usage and refuses an option it does not know, with its usage,
// before doing anything: nothing is written where it runs.
#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <string>

namespace {

struct ToolCase {
    const char *name;
    const char *program;
    int usageExitCode; // for an unknown option
};

void PrintTo(const ToolCase &c, std::ostream *os)
{
    *os << c.name;
}

class ToolUsageTest : public ::testing::TestWithParam<ToolCase> {};

TEST_P(ToolUsageTest, HelpAndUnknownOption)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    struct Call {
        QStringList arguments;
        int exitCode;
        QProcess::ProcessChannel usageOn;
    };
    const Call calls[] = {
        {{QStringLiteral("--help")}, 0, QProcess::StandardOutput},
        {{QStringLiteral("--no-such-option")}, GetParam().usageExitCode, QProcess::StandardError},
        {{QStringLiteral("out.png"), QStringLiteral("-z")},
         GetParam().usageExitCode,
         QProcess::StandardError},
    };
    for (const Call &call : calls) {
        QProcess process;
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(dir.path());
        process.start(QString::fromUtf8(GetParam().program), call.arguments);
        ASSERT_TRUE(process.waitForFinished(30000));
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        const QString err = QString::fromUtf8(process.readAllStandardError());
        const std::string what = call.arguments.join(u' ').toStdString() + "\nstdout: " + out.toStdString() +
                                 "\nstderr: " + err.toStdString();
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << what;
        EXPECT_EQ(process.exitCode(), call.exitCode) << what;
        const QString usage = call.usageOn == QProcess::StandardOutput ? out : err;
        EXPECT_TRUE(usage.contains(QStringLiteral("usage"), Qt::CaseInsensitive)) << what;
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList()) << what;
    }
}

INSTANTIATE_TEST_SUITE_P(Tools, ToolUsageTest,
                         ::testing::Values(ToolCase{"screenshot", CORVANE_TOOL_SCREENSHOT, 2},
                                           ToolCase{"jobcheck", CORVANE_TOOL_JOBCHECK, 2},
                                           ToolCase{"driver", CORVANE_TOOL_DRIVER, 64},
                                           ToolCase{"artwork", CORVANE_TOOL_ARTWORK, 2}),
                         [](const ::testing::TestParamInfo<ToolCase> &param) {
                             return std::string(param.param.name);
                         });

} // namespace
