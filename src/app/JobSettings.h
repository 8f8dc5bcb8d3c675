#pragma once
// The job settings: the job description, the driver's handle and the page count.

#include <QString>
#include <QtGlobal>

// The job settings: the job description, the driver's handle and the page count. One set per process,
// held by the application object; every part of the preview reads them from there.
class CJobSettings {
public:
    CJobSettings() = default;
    virtual ~CJobSettings() = default;

    // Reads the job description file into the settings. Returns 0 when all ten keys were accepted,
    // otherwise the error number of the first key that was not; the keys before it are already stored.
    int ReadJobFile(const QString &path);

    QString m_strIniPath;
    quint64 m_hDriverWnd = 0;
    int m_nTapeWidthMm = 0;
    int m_nTapeLengthMm = 0;
    QString m_strPageFileFormat;
    int m_nCopies = 0;
    QString m_strTapeWidth;
    QString m_strTapeLength;
    QString m_strDocName;
    int m_nDpi = 0;
    int m_nOrientation = 0;
    int m_nPageCount = 1;
    QString m_strPageFilePattern;
};
