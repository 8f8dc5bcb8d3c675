#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// A preview PPD: a raster printer's PPD in which corvane-cups stands in for the printer's raster filter.
//
// Everything the printer's PPD says stays, byte for byte, except:
// - the raster filter (the *cupsFilter2 whose input is CUPS raster, or, in a PPD without *cupsFilter2,
//   such a *cupsFilter) names corvane-cups, with the same types and cost; the printer's own value
//   follows as *CorvaneFilter, which corvane-cups reads to run the printer's filter after the preview;
// - *CorvaneWraps names the queue the preview queue was made from, when there is one;
// - *ModelName, *ShortNickName, *NickName and their translations say that the model previews;
// - the option CorvaneWithoutSession (Print, the default, or Drop) says what a job does when no preview
//   can be shown; it is translated into every language the PPD lists in *cupsLanguages and Japanese.
namespace previewppd {

inline constexpr char kFilterKeyword[] = "CorvaneFilter";
inline constexpr char kWrapsKeyword[] = "CorvaneWraps";
inline constexpr char kOptionKeyword[] = "CorvaneWithoutSession";
inline constexpr char kFilterProgram[] = "corvane-cups";
inline constexpr char kRasterType[] = "application/vnd.cups-raster";

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
