#pragma once
// A page written as a BMP file row by row while its rows arrive.

#include <QByteArray>
#include <QRect>
#include <QString>
#include <QtGlobal>

// Writes one page as a BMP file while its rows arrive, top row first, so that only one row is ever
// held: the file is top-down (negative height), its rows padded to 4 bytes. 1 bit per pixel stays
// 1 bit (palette white, black), 8 bits stay 8 bits (a grey palette), 24 bits are written as 24-bit
// colour.
//
// The rows given to Append: each (width x bits + 7) / 8 bytes; 1 bit: most significant bit first,
// 1 = black; 8 bits: grey, 0 = black, 255 = white; 24 bits: red, green, blue. Append may be given
// any part of a row, or several rows, at a time. The rows may cover only part of the page: the
// rest of the page is written white (paper).
class CBmpWriter {
public:
    CBmpWriter() = default;
    // An unfinished file is removed.
    ~CBmpWriter();
    CBmpWriter(const CBmpWriter &) = delete;
    CBmpWriter &operator=(const CBmpWriter &) = delete;

    // Creates the file (it must not exist yet; mode 0600) and writes the headers. False with the
    // reason when the page is not 1..2^20 dots a side in 1, 8 or 24 bits, or the file cannot be made.
    bool Begin(const QString &path, int width, int height, int bits, int xDpi, int yDpi, QString *why);
    // The same for rows of rows.width() x rows.height() dots with their top left dot at rows.topLeft()
    // on the page of width x height; false too when they do not lie on it.
    bool Begin(const QString &path, int width, int height, int bits, int xDpi, int yDpi, const QRect &rows,
               QString *why);
    // Takes the next bytes of rows. False with the reason on a write error, or when they run past
    // the last row (nothing of them is written then).
    bool Append(const char *data, qsizetype size, QString *why);
    // True once every row has been given.
    bool IsComplete() const { return m_nRows == m_nHeight && m_nFill == 0; }
    // True from a successful Begin until the page is finished or abandoned.
    bool IsOpen() const { return m_fd >= 0; }
    qint64 RowsDone() const { return m_nRows; }
    // Bytes of rows still due.
    qint64 BytesLeft() const { return (m_nHeight - m_nRows) * static_cast<qint64>(m_nRowBytes) - m_nFill; }
    // Writes what is left and closes the file. False unless every row has been given and written.
    bool Finish(QString *why);
    // Closes and removes an unfinished file.
    void Abandon();

private:
    bool WriteOut(QString *why);
    bool WriteWhiteRows(qint64 count, QString *why);
    void TakeRow(const char *row);

    QString m_strPath;
    int m_fd = -1;
    int m_nWidth = 0; // the rows given
    int m_nHeight = 0;
    int m_nLeft = 0; // their place on the page
    int m_nTop = 0;
    int m_nPageHeight = 0;
    int m_nBits = 0;
    qsizetype m_nRowBytes = 0; // one row as given
    qsizetype m_nStride = 0;   // one row of the page in the file
    QByteArray m_white;        // one white row of the page in the file
    qint64 m_nRows = 0;        // rows complete
    QByteArray m_row;          // the row being put together
    qsizetype m_nFill = 0;
    QByteArray m_out; // rows waiting to be written
};
