#pragma once

// Runs the built corvane-jobcheck as an integrator does: its exit code and what it printed.
#include <QByteArray>
#include <QProcess>
#include <QStringList>

struct CJobCheckRun {
    int nExit;
    QByteArray out;
};

inline CJobCheckRun JobCheck(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(CORVANE_BINARY_DIR "/corvane-jobcheck"), arguments);
    process.waitForFinished(30000);
    return CJobCheckRun{process.exitCode(), process.readAllStandardOutput()};
}
