// Page scan: reads one page's raster lines and sends them to the printer.
#pragma once

#include <cups/raster.h>

// Scans the current page. Returns false when the page could not be printed at all and the job
// must stop (its buffers could not be allocated); the page is still closed by PageFinish.
bool ScanPage(cups_raster_t* raster, const cups_page_header2_t& header);
