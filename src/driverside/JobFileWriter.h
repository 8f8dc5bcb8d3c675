#pragma once
// The job file a driver writes beside the pages.

#include <QByteArray>
#include <QString>

// The job file a driver writes beside the pages (docs/job-file.md): two sections, ten keys, UTF-8.
struct JobFileKeys {
    int maxTapeWidthMm = 0;
    int maxTapeLengthMm = 0;
    QString filePath; // the pages' folder, with its trailing '/'
    QString fileName; // the pages' base name: FilePath + FileName + "_00001.bmp" is page 1
    int copies = 1;
    QString tapeWidth;  // status bar text, e.g. "24mm"
    QString tapeLength; // status bar text
    QString docName;
    int dpi = 0;
    int orientation = 1; // 1: the tape runs down the bitmap; 2: across
};

// The file's text. Every string value is written in double quotes, which the reader removes, so a
// value keeps its blanks and quotes as they are; control characters (a line break would start a new
// key) become spaces. omitKey (any letter case) leaves that key out, for a deliberately broken job.
QByteArray JobFileText(const JobFileKeys &keys, const QString &omitKey = {});
// The file of page n (from 1) as the preview names it from FilePath and FileName.
QString JobPageFile(const QString &filePath, const QString &fileName, int nPage);
// Writes the text to path (replacing it). False with the reason when it cannot be written.
bool WriteJobFile(const QString &path, const JobFileKeys &keys, QString *why, const QString &omitKey = {});
