#include "view/PageImage.h"

bool CPageImage::Load(const QString &path)
{
    Destroy();
    QImage image(path);
    if (image.isNull())
        return false;
    m_image = image.convertToFormat(QImage::Format_RGB32);
    m_nBits = 32;
    return true;
}

void CPageImage::Destroy()
{
    m_image = QImage();
    m_nBits = 0;
    m_bAlpha = false;
}
