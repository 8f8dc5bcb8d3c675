#pragma once
// The job's raster read page by page while an exact copy of it is spooled.

#include "cups/AgentWire.h"
#include "cups/PagePlacement.h"
#include "filter/RowConverter.h"

#include <QByteArray>
#include <QString>

#include <cups/raster.h>

// Reads the job's raster with CUPS's raster API while keeping an exact copy of every byte read in a
// spool file, so that the printer's filter can later read the same bytes the scheduler sent. The spool
// file is made in $TMPDIR and unlinked at once: it lives only as an open descriptor, and nothing of
// the job stays on disk however this process ends.
class CRasterSpool {
public:
    CRasterSpool() = default;
    ~CRasterSpool();
    CRasterSpool(const CRasterSpool &) = delete;
    CRasterSpool &operator=(const CRasterSpool &) = delete;

    // Makes the spool file in tempDir. False with the reason; nothing has been read then.
    bool OpenSpool(const QByteArray &tempDir, QString *why);
    // The queue's page sizes, for pages whose header does not say where their rows lie on the page.
    void SetPaperSizes(const QList<PaperSize> &sizes) { m_paperSizes = sizes; }
    // Starts reading the raster from head (bytes already taken from inputFd), then inputFd (its sync
    // word). False when it is no raster.
    bool StartRaster(int inputFd, QString *why, const QByteArray &head = QByteArray());

    enum class Header { Page, End, Bad };
    // Reads the next page's header. Page: the header is within every limit and can be shown (Page()
    // and the converter are set up); End: no further page; Bad: why says what is wrong.
    Header NextPage(QString *why);
    const agentwire::PageInfo &Page() const { return m_page; }
    // True when the preview can show the page; otherwise ShowProblem() says why.
    bool CanShow() const { return m_showProblem.isEmpty(); }
    const QString &ShowProblem() const { return m_showProblem; }
    quint32 PageCount() const { return m_pageCount; }

    // Reads the page's next row and converts it; false when the raster ends inside the page.
    bool NextRow(QByteArray &converted);
    // Skips the rest of the current page's rows without converting; false when the raster ends early.
    bool SkipRows();

    // Reads the input to its end into the spool (the raster API is done with it). False on a read or
    // write error, and at once when the spool could not be written before: it has a hole then.
    bool DrainToEnd();
    // True once a write to the spool failed (a full TempDir): the spool cannot be printed from.
    bool SpoolFailed() const { return m_writeFailed; }
    // Why, naming the spool's folder and the error ("No space left on device").
    QString SpoolProblem() const;
    // The spool file's descriptor, at its start, for the printer's filter; -1 after an error.
    int Rewound();
    // Spools head and then all of inputFd (a document the raster API does not read), and hands the spool
    // file over: the caller owns it; from now on this reads without keeping a copy. -1 on a read or
    // write error (errno says which).
    int SpoolWhole(int inputFd, const QByteArray &head);

    // The tee: read from the input, write the same bytes to the spool.
    ssize_t Read(unsigned char *buffer, size_t length);

private:
    int m_input = -1;
    QByteArray m_head;
    int m_spool = -1;
    bool m_writeFailed = false;
    int m_writeErrno = 0;
    QString m_spoolDir;
    quint64 m_spooled = 0;
    cups_raster_t *m_raster = nullptr;
    cups_page_header2_t m_header{};
    agentwire::PageInfo m_page;
    quint32 m_pageCount = 0;
    quint32 m_rowsLeft = 0;
    QString m_showProblem;
    QList<PaperSize> m_paperSizes;
    CRowConverter m_converter;
    QByteArray m_row;
};
