// CPassThrough: the document spooled as it came, rasterized for the preview, then handed on.
#include "PassThrough.h"

#include "RasterSpool.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

CPassThrough::~CPassThrough()
{
    m_rasterizer.Stop();
    if (m_original >= 0)
        ::close(m_original);
}

bool CPassThrough::SpoolOriginal(CRasterSpool &spool, int inputFd, const QByteArray &head, QString *why)
{
    m_original = spool.SpoolWhole(inputFd, head);
    if (m_original < 0)
        *why = QStringLiteral("the job cannot be spooled (%1)").arg(QString::fromLocal8Bit(strerror(errno)));
    return m_original >= 0;
}

int CPassThrough::StartRasterizer(char **argv, const FilterEnvironment &environment, QString *why)
{
    return m_rasterizer.Start(argv, m_original, environment, why);
}

QString CPassThrough::RasterizerEnd()
{
    return m_rasterizer.Finish();
}

int CPassThrough::Original()
{
    m_rasterizer.Stop();
    if (m_original < 0 || ::lseek(m_original, 0, SEEK_SET) != 0)
        return -1;
    return m_original;
}
