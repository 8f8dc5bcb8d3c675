#pragma once
// The messages between the CUPS filter and the user's session agent.

#include "link/BmpLimits.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <cstddef>

// The messages between the CUPS filter (corvane-cups) and the user's session agent (corvane-agent), one
// per packet on a SOCK_SEQPACKET connection:
//   uint32 type | uint32 payload size | payload, little-endian; the payload is at most kMaxPayload bytes
// and the size field must equal the packet's length less the 8 header bytes. Anything else is refused.
//
//   filter -> agent   JOB       uint32 version, uint32 job id, uint32 copies, title (UTF-8, the rest)
//                     PAGE      uint32 page (from 1), width, height, bits per pixel (1, 8 or 24),
//                               x dpi, y dpi, page width and page length in micrometres, the whole
//                               page's width and height in dots, the rows' left and top offsets on it
//                     ROWS      the next bytes of the current page's rows, top row first (see below)
//                     END       uint32 page count: the raster is complete
//   agent -> filter   ACCEPTED  uint32 version: the agent has taken the job
//                     REFUSED   a reason (UTF-8): the agent cannot preview this job; as the answer to
//                               JOB, or later in place of DECISION when the job could not be shown
//                               after all (the filter then applies the queue's policy)
//                     DECISION  uint32 PRINT, CANCEL or NONE (the preview ended without the user's word)
//
// Rows: each row is RowBytes(page) bytes. 1 bit per pixel: most significant bit first, 1 = ink (black);
// 8 bits: grey, 0 = black, 255 = white; 24 bits: red, green, blue. A page is complete when height rows
// have arrived; ROWS packets may split rows anywhere. The rows (width x height dots) lie on the whole
// page (pageWidth x pageHeight) with their top left dot at (left, top); the rest of the page is white.
// Rows that are the whole page have the page's size and offsets 0. The filter closing the connection before a
// decision withdraws the job (CUPS cancelled it, or the filter died).
namespace agentwire {

constexpr quint32 kVersion = 2;
constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kMaxPayload = 64 * 1024;
constexpr std::size_t kMaxTitleBytes = 1024;
// The preview's own limits for a page.
constexpr quint32 kMaxSide = kBmpMaxDimension;
constexpr quint64 kMaxPageBytes = kBmpMaxDecodedBytes;
constexpr quint32 kMaxDpi = 10000;

enum Type : quint32 {
    JOB = 1,
    PAGE = 2,
    ROWS = 3,
    END = 4,
    ACCEPTED = 16,
    REFUSED = 17,
    DECISION = 18,
};

enum Decision : quint32 { PRINT = 1, CANCEL = 2, NONE = 3 };

struct JobInfo {
    quint32 jobId = 0;
    quint32 copies = 1;
    QByteArray title; // UTF-8, at most kMaxTitleBytes
};

struct PageInfo {
    quint32 page = 0;
    quint32 width = 0;
    quint32 height = 0;
    quint32 bitsPerPixel = 0;
    quint32 xDpi = 0;
    quint32 yDpi = 0;
    quint32 widthUm = 0;
    quint32 lengthUm = 0;
    quint32 pageWidth = 0;
    quint32 pageHeight = 0;
    quint32 left = 0;
    quint32 top = 0;
};

// Bytes of one row of the page.
quint64 RowBytes(const PageInfo &page);
// The rows are the whole page: its size is theirs, with no offset.
void RowsAreThePage(PageInfo &page);
// True when the page, the whole page too, is within every limit above and the rows lie on the whole
// page; otherwise false with the reason.
bool CheckPage(const PageInfo &page, QString *why);

QByteArray EncodeJob(const JobInfo &job);
bool DecodeJob(const QByteArray &payload, JobInfo &job, QString *why);
QByteArray EncodePage(const PageInfo &page);
bool DecodePage(const QByteArray &payload, PageInfo &page, QString *why);
QByteArray EncodeUint(quint32 value);
bool DecodeUint(const QByteArray &payload, quint32 &value);

// A packet: header and payload together. Empty when the payload is too large.
QByteArray Packet(quint32 type, const QByteArray &payload);
// Splits a received packet. False when it is malformed (short, sizes disagree, over the limit).
bool ParsePacket(const QByteArray &packet, quint32 &type, QByteArray &payload);

enum class Io { Ok, WouldBlock, End, Bad };
// Sends one packet whole (MSG_NOSIGNAL; waits while the socket is full when it is blocking).
Io SendPacket(int fd, quint32 type, const QByteArray &payload);
// Receives one packet. End: the peer closed or reset; Bad: a malformed or oversized packet (dropped
// whole); WouldBlock: nothing there on a non-blocking socket.
Io ReceivePacket(int fd, quint32 &type, QByteArray &payload);

} // namespace agentwire
