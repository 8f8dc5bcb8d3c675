#pragma once
// Adding a printer's queue and its preview queue to the private scheduler.

#include <QString>

class CPrivateCups;

// Adds a printer's queue NAME to the private scheduler, from the PPD file ppd to a file: device
// (DIR/out/NAME.prn), or, with ppd empty, driverless with lpadmin -m everywhere for the IPP printer at
// uri; then its preview queue NAME-preview with corvane-queue add, on the same device. Empty on success,
// else what failed.
QString AddFormQueues(const CPrivateCups &cups, const QString &name, const QString &ppd, const QString &uri);
