#pragma once
// Loading a page of the job and measuring it along the tape.

#include <QString>

class CPageImage;

// The page's extent along the tape, in dots: its width when the tape runs across the screen
// (orientation 2), its height otherwise. An empty image (0 x 0) gives 0.
int PageExtentAlongTape(int nWidth, int nHeight, int nOrientation);

// The tape length in whole millimetres of an extent in dots at nLogUnitsPerInch:
// truncate(extent x 25.4 / dpi + 0.5) in double precision, in that order. A resolution of 0 or less
// gives 0 rather than a division by zero.
int TapeLengthMm(int nExtent, int nLogUnitsPerInch);

// The first steps of showing page nPage: build its file name from the job's page file format, release
// the page shown so far, load the new one (a failure leaves the image empty) and return the tape length
// in millimetres that the page gives (0 for an empty image).
int LoadPageImage(CPageImage &image, const QString &strPageFileFormat, int nPage, int nOrientation,
                  int nLogUnitsPerInch);
