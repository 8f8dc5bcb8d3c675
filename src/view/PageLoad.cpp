// Loading a job's page bitmap and measuring its length along the tape.
#include "view/PageLoad.h"

#include "app/PageFiles.h"
#include "view/PageImage.h"

#include <climits>

int PageExtentAlongTape(int nWidth, int nHeight, int nOrientation)
{
    return nOrientation == 2 ? nWidth : nHeight;
}

int TapeLengthMm(int nExtent, int nLogUnitsPerInch)
{
    if (nLogUnitsPerInch <= 0)
        return 0;
    const double dMm = nExtent * 25.4 / nLogUnitsPerInch + 0.5;
    if (dMm >= double(INT_MAX))
        return INT_MAX;
    if (dMm <= double(INT_MIN))
        return INT_MIN;
    return int(dMm);
}

int LoadPageImage(CPageImage &image, const QString &strPageFileFormat, int nPage, int nOrientation,
                  int nLogUnitsPerInch)
{
    const QString strFile = PageFileName(strPageFileFormat, nPage);
    if (!image.IsNull())
        image.Destroy();
    image.Load(strFile);
    const int nExtent = PageExtentAlongTape(image.GetWidth(), image.GetHeight(), nOrientation);
    return TapeLengthMm(nExtent, nLogUnitsPerInch);
}
