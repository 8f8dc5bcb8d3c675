#pragma once
// Reading the rows of a page bitmap as bytes for the resampling kernel.

#include <QImage>
#include <QVector>

#include <vector>

// The dots [x0, x1) of one source row as bytes, nCh per dot: a two-colour page as one byte of
// 0 (colour 0) or 255 (colour 1); 24-bit pages as they are stored; everything else as RGB32.
class CRowReader {
public:
    CRowReader(const QImage &page, int x0, int x1);

    int Channels() const { return m_nCh; }
    int Red() const { return m_r; }
    int Blue() const { return m_b; }

    const uchar *Row(int y);

private:
    const QImage &m_page;
    int m_x0, m_x1;
    int m_nCh = 4;
    int m_r = 2, m_b = 0;
    QVector<QRgb> m_table;
    std::vector<uchar> m_bytes;
    std::vector<QRgb> m_rgb;
};
