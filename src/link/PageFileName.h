// The names of a job's page files, as the driver writes them and the preview reads and deletes them.
#pragma once

#include <QString>

// The page-file template of a job whose files start with stem (FilePath + FileName): stem + "_%05d.bmp".
QString PageFileFormat(const QString &stem);
// The wildcard that every page file of that job matches: stem + "_*.bmp".
QString PageFilePattern(const QString &stem);

// The file of page nPage: the template with the page number, zero-padded to at least five digits, in
// place of its last "%05d". Every other character, a "%" in the folder or base name included, is literal.
QString PageFileName(const QString &format, int nPage);
// Where the page number goes in a template: its last "%05d", -1 when there is none.
qsizetype PageNumberAt(const QString &format);
// The length of the page number's place holder ("%05d").
constexpr qsizetype kPageNumberLength = 4;
