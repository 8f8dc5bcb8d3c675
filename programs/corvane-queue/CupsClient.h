#pragma once
// The scheduler as corvane-queue speaks to it: IPP requests on one connection.

#include <QByteArray>
#include <QString>

#include <cups/cups.h>

#include <memory>

struct IppDeleter {
    void operator()(ipp_t *ipp) const { ippDelete(ipp); }
};
using IppPtr = std::unique_ptr<ipp_t, IppDeleter>;

// The scheduler as corvane-queue speaks to it: IPP requests on one connection to the scheduler that
// CUPS_SERVER or client.conf names. Every failure comes back as one line for the user; a request that
// needs authentication the user does not have fails at once instead of asking for a password.
class CCupsClient {
public:
    CCupsClient();
    ~CCupsClient();
    CCupsClient(const CCupsClient &) = delete;
    CCupsClient &operator=(const CCupsClient &) = delete;

    bool Connect(QString *why);

    // The attributes of the queue (printer or class) name; null when there is none (then *why stays
    // empty) or when the request fails.
    IppPtr Queue(const QByteArray &name, QString *why);
    // Every printer's name, type and make and model; null when the request fails.
    IppPtr Printers(QString *why);
    // The queue's PPD; a null array when the queue has none (then *why stays empty) or on failure.
    QByteArray Ppd(const QByteArray &name, QString *why);
    // A CUPS-Add-Modify-Printer request for name, its operation attributes filled in; the caller adds
    // the printer's attributes and sends it with AddPrinter.
    IppPtr AddRequest(const QByteArray &name);
    bool AddPrinter(const QByteArray &name, IppPtr request, const QByteArray &ppd, QString *why);
    bool DeletePrinter(const QByteArray &name, QString *why);

    static QByteArray PrinterUri(const QByteArray &name);

private:
    IppPtr Request(ipp_op_t operation, const QByteArray &name);
    QString Failure(const QString &what) const;

    http_t *m_http = nullptr;
};
