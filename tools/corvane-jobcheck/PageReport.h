#pragma once
// corvane-jobcheck's reports of page bitmaps.

#include "Json.h"

#include <QString>

class CPageImage;

// A loaded (or empty) page as {"loaded", "width", "height", "bits", "alpha"} and, for an indexed page,
// "palette": its whole colour table as [[r, g, b], ...] (black past the file's own colours).
CJsonObject PageImageJson(const CPageImage &image);

// `corvane-jobcheck --page FILE.bmp [--png OUT.png]`: decodes the file as the preview does and prints
// the page as one JSON object. With a PNG path, a loaded page is also written there as 8-bit RGB,
// drawn opaque (nothing is written for a page that does not load). Exit code 0 whether or not the page
// loads; 1 only when the PNG cannot be written.
int RunPageReport(const QString &bmpFile, const QString &pngFile);

// `corvane-jobcheck JOBFILE --pages`: the job report with "pages" added: for page 1, 2, ... as long as
// the page's file exists (the first missing number ends the list), its number, file name, loaded, width,
// height and the tape length in mm that showing it would set. Exit code as for the job report.
int RunPagesReport(const QString &jobFile);
