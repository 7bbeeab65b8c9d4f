// Test toolkit: run the page scan in this process on one page of a raster stream.
#pragma once

#include <cups/raster.h>

#include <functional>

#include "support/raster.h"

struct ScanResult {
    bool ok;    // what ScanPage returned
    Bytes out;  // what the scan and PageFinish wrote
};

// Writes the page with libcups in the given mode, reads its header back, lets `adjust` change the
// header the scan is given, and runs ScanPage then PageFinish with the given margins.
ScanResult scanPage(const RasterPage& page, uint32_t marginLeft = 0, uint32_t marginTop = 0,
                    cups_mode_t mode = CUPS_RASTER_WRITE_COMPRESSED,
                    const std::function<void(cups_page_header2_t&)>& adjust = nullptr);
