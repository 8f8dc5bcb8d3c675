#pragma once

#include <QImage>
#include <QString>

class QPainter;
class QRect;

// One decoded page bitmap, or nothing (the view's m_image).
class CPageImage {
public:
    CPageImage() = default;

    // Decodes the BMP file at path; false (and empty) when it cannot be read or decoded.
    bool Load(const QString &path);
    // Frees the bitmap; width and height become 0.
    void Destroy();

    bool IsNull() const { return m_image.isNull(); }
    int GetWidth() const { return m_image.width(); }
    int GetHeight() const { return m_image.height(); }
    // The decoded depth: 1, 4, 8, 16, 24 or 32.
    int GetBPP() const { return m_nBits; }
    bool IsAlpha() const { return m_bAlpha; }

    // The pixels for drawing, always opaque.
    const QImage &Image() const { return m_image; }

private:
    QImage m_image;
    int m_nBits = 0;
    bool m_bAlpha = false;
};
