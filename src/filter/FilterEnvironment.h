#pragma once
// What the scheduler tells corvane-cups through its environment, read once by the program's main and
// passed in, so that the filter's work reads nothing from the process.

#include <QByteArray>

struct FilterEnvironment {
    QByteArray ppd;                         // $PPD: the queue's PPD; empty when the queue has none
    QByteArray serverBin = "/usr/lib/cups"; // $CUPS_SERVERBIN: CUPS's programs, filters in its filter/
    QByteArray tempDir = "/tmp";            // $TMPDIR: the job's private temporary folder
};
