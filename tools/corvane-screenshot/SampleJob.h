#pragma once
// A sample print job for the screenshot and the window tests.

#include <QImage>
#include <QString>

class CJobSettings;

// A sample print job for the screenshot and the window tests: 1-bit page bitmaps as the driver
// writes them, with the job settings that go with them.
struct SampleJob {
    QString folder;   // where the pages are written, with its trailing separator
    QString baseName; // pages are <folder><baseName>_00001.bmp ...
    int pageCount = 3;
    int dpi = 360;
    int tapeWidthMm = 24;
    // Length in millimetres of every page but the first; the first is firstPageLengthMm long.
    int pageLengthMm = 100;
    int firstPageLengthMm = 70;
};

// Writes an image as a bottom-up BMP of 1 bit per pixel (palette: black, white); dark pixels are black.
bool WriteMonoBmp(const QString &path, const QImage &image);

// Writes the pages (the tape runs across: a page is as wide as its length and as high as the tape) and
// fills the settings as the job description would: orientation 2, copies 1, the display texts.
bool WriteSampleJob(const SampleJob &job, CJobSettings &settings);
