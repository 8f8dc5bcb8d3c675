#pragma once
// A private CUPS scheduler for the tests.

#include <QByteArray>
#include <QString>
#include <QStringList>

// A private CUPS scheduler for the tests (scripts/private-cupsd.sh) with two queues made from CUPS's own
// sample label printer (ppdc's dymo.ppd), both to file: devices:
//   direct   the printer's PPD as it is: the chain ends in its raster filter, rastertolabel
//   preview  the same PPD through corvane-ppd: corvane-cups stands in front of rastertolabel
// One per test program, started on first use and stopped at exit.
class CPrivateCups {
public:
    static CPrivateCups &Instance();

    // Why the scheduler cannot run here (not root, CUPS not installed): the tests skip, loudly.
    const QString &Missing() const { return m_missing; }
    // Why it did not come up although it could: the tests fail with it.
    const QString &Broken() const { return m_broken; }

    const QString &Dir() const { return m_dir; }
    // True when the scheduler runs in a mount namespace of this test program's own, where a test may
    // mount a small TempDir (Dir()/spool/tmp) without touching the machine.
    bool PrivateMounts() const { return m_privateMounts; }
    // Runs a CUPS client program (lp, lpstat, lpadmin, cancel) against the scheduler; its exit code.
    int Client(const QString &program, const QStringList &arguments, QString *output = nullptr) const;
    // Submits a file; the job id, 0 on failure.
    int Submit(const QString &queue, const QString &file, const QStringList &options = {}) const;
    // Waits until the job has left the processing states; its state ("completed", "canceled",
    // "stopped", "aborted", "held") or "timeout".
    QString WaitForJobEnd(int job, int nMs = 60000) const;
    // The job's state message as `lpstat -l` shows it ("Status: ...").
    QString JobStatus(int job) const;
    // `lpstat -p queue`: "printer preview is idle.  enabled since ...".
    QString QueueState(const QString &queue) const;
    QByteArray Output(const QString &queue) const;
    void ClearOutput(const QString &queue) const;
    QString ErrorLog() const;
    // A PDF of pages pages on the sample label's page size (made once by ghostscript); empty on failure.
    QString LabelPdf(int pages) const;
    // What the direct queue (or another queue to a file: device in out/) prints of file: the reference
    // for the preview queue; empty on failure.
    QByteArray PrintDirect(const QString &file, const QString &queue = QStringLiteral("direct")) const;
    // Files and folders in the scheduler's temporary folder (where filters spool), by name.
    QStringList TempFiles() const;

    ~CPrivateCups();
    CPrivateCups(const CPrivateCups &) = delete;
    CPrivateCups &operator=(const CPrivateCups &) = delete;

private:
    CPrivateCups();
    void Start();

    QString m_missing;
    QString m_broken;
    QString m_dir;
    bool m_started = false;
    bool m_privateMounts = false;
};
