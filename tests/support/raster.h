// Test toolkit: CUPS raster streams written with libcups's own raster writer.
#pragma once

#include <cups/raster.h>

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

struct RasterPage {
    cups_page_header2_t header;
    // Fewer lines than cupsHeight leave the stream short; write such pages with CUPS_RASTER_WRITE,
    // since the compressing writers hold back lines until they can compare the next one.
    std::vector<Bytes> lines;
};

// A 1-bit, set-bit-white page header at 600 dpi; bytesPerLine 0 means (width + 7) / 8.
cups_page_header2_t makeHeader(unsigned width, unsigned height, unsigned bytesPerLine = 0);

// A header for the named paper in points, with the raster covering it at 600 dpi.
cups_page_header2_t makePaperHeader(unsigned widthPt, unsigned lengthPt);

// Writes the pages with cupsRasterOpen in the given write mode; returns the stream's bytes.
Bytes writeRaster(const std::vector<RasterPage>& pages,
                  cups_mode_t mode = CUPS_RASTER_WRITE_COMPRESSED);

// A page of the given header whose every line is white.
RasterPage whitePage(const cups_page_header2_t& header);
