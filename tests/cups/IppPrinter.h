#pragma once
// A driverless printer for the tests.

#include <QByteArray>
#include <QProcess>
#include <QString>

// A driverless printer for the tests: CUPS's IPP Everywhere simulator ippeveprinter on 127.0.0.1, taking
// one document format (PWG raster, 8-bit grey at 300 dpi, or PDF) on label-sized media (1.125 x 3.5 in,
// the default, and 0.75 x 2 in), keeping every document it receives in its folder; a job ends as soon as
// its document is in (its print command does nothing). It must announce itself by DNS-SD, for which an
// Avahi daemon on a private system bus is started with the first printer (a test machine or container
// has neither; one daemon serves every printer). Stopped when destroyed.
class CIppPrinter {
public:
    CIppPrinter(const QString &dir, quint16 port, const QByteArray &format = "image/pwg-raster");
    ~CIppPrinter();
    CIppPrinter(const CIppPrinter &) = delete;
    CIppPrinter &operator=(const CIppPrinter &) = delete;

    // Why it is not running; empty when it is.
    const QString &Broken() const { return m_broken; }
    QString Uri() const;
    // The documents received since the last Clear, in the order received, as one array.
    QByteArray Received() const;
    void Clear() const;

private:
    bool StartProgram(QProcess &process, const QString &program, const QStringList &arguments);

    QString m_dir;
    quint16 m_port;
    QString m_broken;
    QProcess m_printer;
};
