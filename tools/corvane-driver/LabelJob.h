#pragma once
// The sample label job that corvane-driver renders and writes for the preview.

#include "DriverOptions.h"

#include <QImage>
#include <QString>
#include <QStringList>

// A sample job on disk: the page bitmaps and the job file, as a driver leaves them for the preview.
struct LabelJob {
    QString dir; // with a trailing '/'
    QString jobFile;
    QStringList pageFiles; // page 1 first
};

// Page n (1-based) of a sample label: Japanese and Latin text, a barcode-like pattern and a border, in
// printer dots at the chosen resolution; pages differ in length. The image is 1 bit per pixel.
QImage RenderLabelPage(const DriverOptions &options, int nPage);

// Renders every page into dir and writes the job file beside them. False with a message on failure.
bool WriteLabelJob(const DriverOptions &options, const QString &dir, LabelJob &job, QString *why);

// The tape length of page n in millimetres: 30, 45, 60, 75, 30, ...
int LabelPageLengthMm(int nPage);
