// Page scan: reads one page's raster lines, folds blank lines into pending blank-line commands
// and sends every other line as an encoded frame.
#pragma once

#include <cups/raster.h>

#include <cstdint>

// The largest line buffer a page may have. Real pages need a few kilobytes; a header asking for
// more is treated as a page whose buffers cannot be allocated.
constexpr uint64_t kMaxLineBufferBytes = uint64_t(1) << 20;

// Whether the printer can show the page: 1 bit per pixel, in the W or sW colour space (a set bit
// is white) or K (a set bit is black). Any other page is not started.
bool IsPrintablePage(const cups_page_header2_t& header);

// Scans the current page: allocates its buffers, reads its lines and sends them. Returns false
// when the page's buffers could not be allocated: nothing of the page was sent and the job must
// stop. PageFinish closes the page and frees the buffers either way.
bool ScanPage(cups_raster_t* raster, const cups_page_header2_t& header);
