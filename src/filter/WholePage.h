#pragma once
// A page's rows placed on the whole page.

#include "cups/AgentWire.h"
#include "cups/PagePlacement.h"

#include <QList>

#include <cups/raster.h>

// Places a page's rows on the whole page (see PagePlacement.h): sets the page's whole size and the
// rows' offsets, and the page size in micrometres from the whole page. A whole page over the
// preview's limits (a long continuous tape) leaves the rows as the page. The page's bits per pixel
// must be set. Says where the placement came from in the scheduler's debug log.
void PlaceOnWholePage(const cups_page_header2_t &header, const QList<PaperSize> &ppdSizes,
                      agentwire::PageInfo &page);
