#pragma once
// Handing the job on to the printer's own filter.

#include <QByteArray>
#include <QString>

// Hands the job on to the printer's own filter: this process becomes that filter (execv), with the
// scheduler's arguments and environment, stderr unchanged, inputFd as its stdin and outputFd as its stdout,
// so the device gets exactly what the filter makes of the raster and the job ends with the filter's
// status. program "-" (a printer that takes the data as it is) copies inputFd to outputFd instead. head, when
// not empty, is the input's first bytes, already taken from inputFd: they come first. Returns only when the
// program could not be run (false with the reason), or after the copy (false with the reason when it failed).
bool RunPrinterFilter(const QByteArray &program, char **argv, int inputFd, int outputFd,
                      const QByteArray &head, QString *why);
