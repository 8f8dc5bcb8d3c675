// Adding a printer's queue with lpadmin and its preview queue with corvane-queue.
#include "FormQueues.h"

#include "PrivateCups.h"

#include <QFile>
#include <QProcess>
#include <QThread>

QString AddFormQueues(const CPrivateCups &cups, const QString &name, const QString &ppd, const QString &uri)
{
    const QString device = uri.isEmpty() ? QStringLiteral("file://%1/out/%2.prn").arg(cups.Dir(), name) : uri;
    QString output;
    if (cups.Client(QStringLiteral("lpadmin"),
                    {QStringLiteral("-p"), name, QStringLiteral("-E"), QStringLiteral("-v"), device,
                     ppd.isEmpty() ? QStringLiteral("-m") : QStringLiteral("-P"),
                     ppd.isEmpty() ? QStringLiteral("everywhere") : ppd},
                    &output) != 0)
        return QStringLiteral("lpadmin %1: %2").arg(name, output);
    // The scheduler writes an everywhere queue's PPD after lpadmin has returned.
    const QString made = cups.Dir() + QStringLiteral("/ppd/%1.ppd").arg(name);
    for (int i = 0; i < 500 && !QFile::exists(made); ++i)
        QThread::msleep(20);
    QProcess queue;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CUPS_SERVER"), cups.Dir() + QStringLiteral("/cups.sock"));
    queue.setProcessEnvironment(env);
    queue.setProcessChannelMode(QProcess::MergedChannels);
    queue.start(QStringLiteral(CORVANE_BINARY_DIR "/corvane-queue"),
                {QStringLiteral("add"), name, QStringLiteral("--name"), name + QStringLiteral("-preview")});
    if (!queue.waitForFinished(60000) || queue.exitStatus() != QProcess::NormalExit || queue.exitCode() != 0)
        return QStringLiteral("corvane-queue add %1: %2").arg(name, QString::fromUtf8(queue.readAll()));
    return {};
}
