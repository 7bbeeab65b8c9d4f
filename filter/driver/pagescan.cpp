// Page scan: reads one page's raster lines. Lines are read and dropped for now so that the
// next page header is found.
#include "driver/pagescan.h"

#include <vector>

bool ScanPage(cups_raster_t* raster, const cups_page_header2_t& header)
{
    std::vector<unsigned char> line(header.cupsBytesPerLine);
    for (unsigned y = 0; y < header.cupsHeight; ++y)
        if (cupsRasterReadPixels(raster, line.data(), header.cupsBytesPerLine) == 0)
            break;
    return true;
}
