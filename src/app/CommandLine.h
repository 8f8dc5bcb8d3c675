#pragma once
// The preview's command line: the job file's path and the driver's handle.

#include <QString>
#include <QStringList>
#include <QtGlobal>

// What the driver put on the command line: the job file's path (/INI=) and the driver's handle as
// hexadecimal text (/HWND=). An empty string counts as missing.
struct CommandLineArgs {
    QString strIniPath;
    QString strHandle;
};

// The arguments after the program name, each taken as the bytes it is (see NativePath.h): a job
// path in a legacy encoding reaches the file system unchanged.
QStringList DecodeArguments(int argc, char **argv);

// Scans the arguments after the program name. "/INI=" and "/HWND=" are matched with their letter
// case; a later argument of a kind replaces the earlier value (an empty rest included); the scan
// stops after the first argument at which both values are non-empty; other arguments are ignored.
CommandLineArgs ScanCommandLine(const QStringList &arguments);

// The handle text read as _wcstoui64 reads it in base 16: leading blanks, an optional sign, an
// optional "0x"/"0X", hexadecimal digits up to the first other character (none gives 0). A value
// past 64 bits gives 2^64 - 1; a "-" negates modulo 2^64. The result is the 64-bit handle.
quint64 ParseHandle(const QString &text);
