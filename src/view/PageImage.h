#pragma once
// One decoded page bitmap, or nothing.

#include "view/BmpDecoder.h"

#include <QImage>
#include <QList>
#include <QString>

// One decoded page bitmap, or nothing (the view's m_image).
//
// The decoded pixels live in one buffer that Image() wraps without a copy: 1 bit as Format_Mono,
// 8 bits as Format_Indexed8 (both with the colour table), 5-5-5 as Format_RGB555, 5-6-5 as
// Format_RGB16, 24 bits as Format_BGR888 and 32 bits as Format_RGB32. Qt has no 4-bit format: a 4-bit
// page is widened once, at load, to Indexed8 with its 16-entry table (the packed form is not kept), so
// it costs twice its native size; GetBPP() still reports 4. A page with alpha keeps its depth of 32
// and IsAlpha(), but its alpha bytes are set to 0xFF at load: the view always draws it opaque.
// The buffer belongs to the QImage's shared data, so a copy of Image() stays valid after Destroy().
class CPageImage {
public:
    CPageImage() = default;

    // Decodes the BMP file at path; false (and empty) when it cannot be read or decoded.
    bool Load(const QString &path);
    // Takes over a decoded bitmap (as Load does after reading the file); false for an empty one.
    bool Attach(CBmpBitmap &&bitmap);
    // Frees the bitmap; width and height become 0.
    void Destroy();

    bool IsNull() const { return m_image.isNull(); }
    int GetWidth() const { return m_image.width(); }
    int GetHeight() const { return m_image.height(); }
    // The decoded depth: 1, 4, 8, 16, 24 or 32.
    int GetBPP() const { return m_nBits; }
    bool IsAlpha() const { return m_bAlpha; }
    // The colour table of an indexed page (2^bits entries, black past the file's colours); empty otherwise.
    const QList<QRgb> &GetColorTable() const { return m_colorTable; }
    // The result of the last Load (BMP_OK or a BMP_ERR_ number).
    int GetLoadResult() const { return m_nLoadResult; }

    // The pixels for drawing, always opaque.
    const QImage &Image() const { return m_image; }
    // The page as 8-bit RGB with each 16-bit channel scaled exactly (255 x value / max, rounded);
    // Qt's own 16-bit conversions replicate bits instead and can differ by one step.
    QImage ToRgb888() const;

private:
    QImage m_image;
    QList<QRgb> m_colorTable;
    int m_nBits = 0;
    bool m_bAlpha = false;
    bool m_b565 = false;
    int m_nLoadResult = BMP_OK;
};
