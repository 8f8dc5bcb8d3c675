// CCupsClient: connecting to the scheduler, sending IPP requests and reporting failures.
#include "CupsClient.h"

#include <QFile>
#include <QTemporaryFile>
#include <QUrl>

namespace {

// No password prompt: a user without the right to change queues is told how to get it instead.
const char *NoPassword(const char *, http_t *, const char *, const char *, void *)
{
    return nullptr;
}

QString ServerName()
{
    return QString::fromLocal8Bit(cupsServer());
}

} // namespace

CCupsClient::CCupsClient()
{
    cupsSetPasswordCB2(NoPassword, nullptr);
}

CCupsClient::~CCupsClient()
{
    if (m_http)
        httpClose(m_http);
}

bool CCupsClient::Connect(QString *why)
{
    m_http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 30000, nullptr);
    if (!m_http)
        *why = QStringLiteral("CUPS is not running (nothing answers at %1): start it, e.g. systemctl start "
                              "cups or service cups start")
                   .arg(ServerName());
    return m_http != nullptr;
}

QByteArray CCupsClient::PrinterUri(const QByteArray &name)
{
    return "ipp://localhost/printers/" + QUrl::toPercentEncoding(QString::fromUtf8(name));
}

IppPtr CCupsClient::Request(ipp_op_t operation, const QByteArray &name)
{
    IppPtr request(ippNewRequest(operation));
    if (!name.isEmpty())
        ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr,
                     PrinterUri(name).constData());
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    return request;
}

QString CCupsClient::Failure(const QString &what) const
{
    switch (cupsLastError()) {
    case IPP_STATUS_ERROR_NOT_AUTHORIZED:
    case IPP_STATUS_ERROR_FORBIDDEN:
    case IPP_STATUS_ERROR_CUPS_AUTHENTICATION_CANCELED:
        return QStringLiteral("no permission to change CUPS queues: run corvane-queue as root (sudo) or as a "
                              "member of the lpadmin group");
    case IPP_STATUS_ERROR_SERVICE_UNAVAILABLE:
        return QStringLiteral("CUPS is not running (nothing answers at %1): start it, e.g. systemctl start "
                              "cups or service cups start")
            .arg(ServerName());
    default:
        return QStringLiteral("CUPS could not %1: %2").arg(what, QString::fromUtf8(cupsLastErrorString()));
    }
}

IppPtr CCupsClient::Queue(const QByteArray &name, QString *why)
{
    IppPtr request = Request(IPP_OP_GET_PRINTER_ATTRIBUTES, name);
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "all");
    IppPtr response(cupsDoRequest(m_http, request.release(), "/"));
    if (cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND)
        return nullptr;
    if (!response || cupsLastError() > IPP_STATUS_OK_CONFLICTING) {
        *why = Failure(QStringLiteral("read queue %1").arg(QString::fromUtf8(name)));
        return nullptr;
    }
    return response;
}

IppPtr CCupsClient::Printers(QString *why)
{
    IppPtr request = Request(IPP_OP_CUPS_GET_PRINTERS, QByteArray());
    static const char *const attributes[] = {"printer-name", "printer-type"};
    ippAddStrings(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 2, nullptr,
                  attributes);
    IppPtr response(cupsDoRequest(m_http, request.release(), "/"));
    if (cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND) // no printers at all
        return IppPtr(ippNew());
    if (!response || cupsLastError() > IPP_STATUS_OK_CONFLICTING) {
        *why = Failure(QStringLiteral("list the queues"));
        return nullptr;
    }
    return response;
}

QByteArray CCupsClient::Ppd(const QByteArray &name, QString *why)
{
    QTemporaryFile file;
    if (!file.open()) {
        *why = QStringLiteral("cannot make a temporary file: %1").arg(file.errorString());
        return QByteArray();
    }
    const QByteArray resource = "/printers/" + QUrl::toPercentEncoding(QString::fromUtf8(name)) + ".ppd";
    const http_status_t status = cupsGetFd(m_http, resource.constData(), file.handle());
    if (status == HTTP_STATUS_NOT_FOUND)
        return QByteArray();
    if (status != HTTP_STATUS_OK) {
        *why = status == HTTP_STATUS_UNAUTHORIZED || status == HTTP_STATUS_FORBIDDEN
                   ? QStringLiteral("no permission to read the PPD of %1").arg(QString::fromUtf8(name))
                   : QStringLiteral("CUPS could not send the PPD of %1: %2")
                         .arg(QString::fromUtf8(name), QString::fromUtf8(httpStatus(status)));
        return QByteArray();
    }
    file.seek(0);
    QByteArray ppd = file.readAll();
    if (ppd.isNull())
        ppd = QByteArray("");
    return ppd;
}

IppPtr CCupsClient::AddRequest(const QByteArray &name)
{
    return Request(IPP_OP_CUPS_ADD_MODIFY_PRINTER, name);
}

bool CCupsClient::AddPrinter(const QByteArray &name, IppPtr request, const QByteArray &ppd, QString *why)
{
    QTemporaryFile file;
    if (!file.open() || file.write(ppd) != ppd.size() || !file.flush()) {
        *why = QStringLiteral("cannot write a temporary file: %1").arg(file.errorString());
        return false;
    }
    IppPtr response(cupsDoFileRequest(m_http, request.release(), "/admin/",
                                      QFile::encodeName(file.fileName()).constData()));
    if (!response || cupsLastError() > IPP_STATUS_OK_CONFLICTING) {
        *why = Failure(QStringLiteral("add queue %1").arg(QString::fromUtf8(name)));
        return false;
    }
    return true;
}

bool CCupsClient::DeletePrinter(const QByteArray &name, QString *why)
{
    IppPtr response(cupsDoRequest(m_http, Request(IPP_OP_CUPS_DELETE_PRINTER, name).release(), "/admin/"));
    if (!response || cupsLastError() > IPP_STATUS_OK_CONFLICTING) {
        *why = Failure(QStringLiteral("remove queue %1").arg(QString::fromUtf8(name)));
        return false;
    }
    return true;
}
