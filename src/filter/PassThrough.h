#pragma once
// The road of a printer whose own filter takes the document rather than raster.

#include "Rasterizer.h"

#include <QByteArray>
#include <QString>

class CRasterSpool;

// The road of a printer whose own filter takes a document (PDF or PostScript: Foomatic and other
// drivers, a driverless printer that takes PDF): the job's input is spooled exactly as it came, CUPS's
// rasterizer makes a raster copy of it for the preview only, and on Print the printer's filter gets the
// spooled original, unchanged.
class CPassThrough {
public:
    CPassThrough() = default;
    ~CPassThrough();
    CPassThrough(const CPassThrough &) = delete;
    CPassThrough &operator=(const CPassThrough &) = delete;

    // Spools head and the rest of inputFd through spool's file, which this then owns. False with why on
    // a read or write error: nothing can be printed then.
    bool SpoolOriginal(CRasterSpool &spool, int inputFd, const QByteArray &head, QString *why);
    bool IsActive() const { return m_original >= 0; }
    // Starts the rasterizer on the original; the read end of the raster copy, -1 with why.
    int StartRasterizer(char **argv, const FilterEnvironment &environment, QString *why);
    // After the copy's last page: empty when the rasterizer ended well, else why not.
    QString RasterizerEnd();
    // The original, at its start, for the printer's filter; the rasterizer is ended first.
    int Original();

private:
    int m_original = -1;
    CRasterizer m_rasterizer;
};
