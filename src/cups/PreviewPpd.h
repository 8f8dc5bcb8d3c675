#pragma once
// A preview PPD: a printer's PPD with corvane-cups in front of the printer's own filter.

#include <QByteArray>
#include <QList>
#include <QString>

// A preview PPD: a printer's PPD in which corvane-cups stands in front of the printer's own filter, for
// each of the three forms a CUPS queue has: a raster driver (its filter reads CUPS raster), a PDF or
// PostScript driver (Foomatic and the like), and a driverless queue (the data goes to the device as it is,
// program "-").
//
// Everything the printer's PPD says stays, byte for byte (*ModelName, *Manufacturer, *Product, every
// *cups... keyword: the printer's filters choose their protocol by them), except:
// - the filter lines CUPS uses (the *cupsFilter2 lines when there are any, else the *cupsFilter lines)
//   for an input the preview reads (CUPS or PWG raster, PDF, PostScript) name corvane-cups, with the same
//   types and cost; each is followed by the printer's own value as *CorvaneFilter, which corvane-cups
//   reads to hand the job on after the preview. Lines of those statements for other printable inputs
//   (image/urf, JPEG, ...) are left out, so that no job reaches the device without the preview; lines
//   for printer commands stay. A PPD without filter lines (a PostScript printer) gets one for PostScript,
//   with "-" as the printer's own program;
// - *CorvaneWraps names the queue the preview queue was made from, when there is one;
// - *ShortNickName, *NickName and their translations, the names printer lists show, say that the queue
//   previews;
// - the option CorvaneWithoutSession (Print, the default, or Drop) says what a job does when no preview
//   can be shown; it is translated into every language the PPD lists in *cupsLanguages and Japanese.
namespace previewppd {

inline constexpr char kFilterKeyword[] = "CorvaneFilter";
inline constexpr char kWrapsKeyword[] = "CorvaneWraps";
inline constexpr char kOptionKeyword[] = "CorvaneWithoutSession";
inline constexpr char kFilterProgram[] = "corvane-cups";
inline constexpr char kRasterType[] = "application/vnd.cups-raster";
inline constexpr char kPostScriptType[] = "application/vnd.cups-postscript";

struct Result {
    QByteArray ppd;  // the preview PPD; empty when refused
    QString refusal; // one line saying why the PPD cannot be made a preview PPD; empty on success
};

// wrappedQueue, when not empty, goes into *CorvaneWraps.
Result Make(const QByteArray &original, const QByteArray &wrappedQueue = QByteArray());

// A printer's filter line as *CorvaneFilter keeps it: "source destination cost program" (from a
// *cupsFilter2) or "source cost program" (from a *cupsFilter).
struct Filter {
    QByteArray source;      // the MIME type the program reads
    QByteArray destination; // the MIME type it writes; empty for the three-field form
    int cost = 0;
    QByteArray program; // a name in CUPS's filter folder, a full path, or "-": the data goes to the device
};

// Every *CorvaneFilter of a preview PPD, in the PPD's order. Values that are not of either form are left
// out.
QList<Filter> PrinterFilters(const QByteArray &ppd);

// The value of the first *keyword statement of a PPD text (quotes removed), or a null array when there is
// none.
QByteArray Attribute(const QByteArray &ppd, const char *keyword);

} // namespace previewppd
