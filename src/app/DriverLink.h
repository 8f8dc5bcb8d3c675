// The preview's end of the driver link: the socket that the driver names with /HWND=.
#pragma once

#include "link/LinkMessages.h"

#include <QtGlobal>

#include <functional>

// The driver link: the preview's end of the socket pair that the driver names with /HWND=. Only this
// class touches the socket. (Contract shared by the application, the frame and the tests; the wire
// format and the waiting rules are written down in docs/driver-protocol.md.)
class CDriverLink {
public:
    CDriverLink();
    ~CDriverLink();
    CDriverLink(const CDriverLink &) = delete;
    CDriverLink &operator=(const CDriverLink &) = delete;

    // Decides what handle names while the process has opened nothing of its own yet (the first thing the
    // preview does): a link socket is taken at once, held and made close-on-exec; anything else is
    // noted as naming no window. A later Attach of the same handle takes that verdict and never looks
    // at the number again, which by then may be a descriptor the toolkit opened (its X connection,
    // when the driver's end was not inherited).
    void Claim(quint64 handle);

    // Takes the descriptor that handle names and sets close-on-exec on it (the claimed one, when
    // handle was claimed). A handle of 0, or one that
    // names no open AF_UNIX socket, names no window: sends then yield 0 at once and posts are dropped.
    // Only a connected SOCK_SEQPACKET or SOCK_STREAM socket on descriptor 3 or above is taken; nothing
    // is ever written to, or changed on, any other descriptor. The link closes what it took when the
    // connection ends, on the next Attach and in its destructor.
    void Attach(quint64 handle);
    bool IsConnected() const;

    // Posts a message; never waits (a frame the socket has no room for goes out from the event loop).
    void Post(quint32 message, quint64 wParam, qint64 lParam);
    // Sends a message and waits for the reply, without a time limit and without spinning. Yields 0
    // with no window, after the connection's end, and when the wait was aborted (LastSendAborted).
    // While it waits the driver's sends are answered 0 at once and all its messages are kept for the
    // receiver, which gets them from the event loop afterwards, never inside Send. A close request
    // from the driver aborts the wait (the request is still handed to the receiver) unless
    // SetCloseEndsWait(false) said there is no window left to close; then the wait goes on until the
    // reply or the connection's end. A pending signal (CSignalRelay) always aborts the wait and stays
    // pending.
    qint64 Send(quint32 message, quint64 wParam, qint64 lParam);
    bool IsWaiting() const;
    // Whether a close request from the driver ends a wait (true after each Attach).
    void SetCloseEndsWait(bool bEnds);
    bool LastSendAborted() const;

    // The receiver of the driver's messages, posted or sent; its result is the reply to a send,
    // written once the receiver has returned. Only WM_PREVIEW_PAGES and WM_PREVIEW_CLOSE reach it.
    // Messages that arrive before a receiver is set are kept and handed to it, in order, from the
    // event loop once it is set (the queue is bounded; docs/driver-protocol.md gives the rules). The
    // socket is watched from the event loop once a QCoreApplication exists; the link itself makes no
    // Qt object before that, so it may live in static storage.
    using Receiver = std::function<qint64(quint32 message, quint64 wParam, qint64 lParam)>;
    void SetReceiver(Receiver receiver);

private:
    struct Impl;
    Impl *m_pImpl;
};
