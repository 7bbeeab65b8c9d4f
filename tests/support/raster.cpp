// Test toolkit: CUPS raster streams written with libcups's own raster writer.
#include "support/raster.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "support/files.h"

cups_page_header2_t makeHeader(unsigned width, unsigned height, unsigned bytesPerLine)
{
    cups_page_header2_t h;
    memset(&h, 0, sizeof h);
    strcpy(h.MediaClass, "PwgRaster");
    h.HWResolution[0] = h.HWResolution[1] = 600;
    h.NumCopies = 1;
    h.PageSize[0] = 595;
    h.PageSize[1] = 842;
    h.cupsPageSize[0] = 595.0f;
    h.cupsPageSize[1] = 842.0f;
    h.cupsWidth = width;
    h.cupsHeight = height;
    h.cupsBitsPerColor = 1;
    h.cupsBitsPerPixel = 1;
    h.cupsBytesPerLine = bytesPerLine ? bytesPerLine : (width + 7) / 8;
    h.cupsColorOrder = CUPS_ORDER_CHUNKED;
    h.cupsColorSpace = CUPS_CSPACE_W;
    h.cupsNumColors = 1;
    return h;
}

cups_page_header2_t makePaperHeader(unsigned widthPt, unsigned lengthPt)
{
    cups_page_header2_t h = makeHeader(widthPt * 600 / 72, lengthPt * 600 / 72);
    h.PageSize[0] = widthPt;
    h.PageSize[1] = lengthPt;
    h.cupsPageSize[0] = static_cast<float>(widthPt);
    h.cupsPageSize[1] = static_cast<float>(lengthPt);
    return h;
}

Bytes writeRaster(const std::vector<RasterPage>& pages, cups_mode_t mode)
{
    TempFile file;
    int fd = ::open(file.path().c_str(), O_WRONLY | O_TRUNC);
    if (fd < 0)
        throw std::runtime_error("cannot open raster temp file");
    cups_raster_t* r = cupsRasterOpen(fd, mode);
    for (const RasterPage& page : pages) {
        cups_page_header2_t header = page.header;
        if (!cupsRasterWriteHeader2(r, &header))
            throw std::runtime_error("libcups refused the page header");
        for (const Bytes& line : page.lines) {
            Bytes copy = line;
            copy.resize(header.cupsBytesPerLine, 0xFF);
            cupsRasterWritePixels(r, copy.data(), static_cast<unsigned>(copy.size()));
        }
    }
    cupsRasterClose(r);
    ::close(fd);
    return file.read();
}

RasterPage whitePage(const cups_page_header2_t& header)
{
    RasterPage page{header, {}};
    page.lines.assign(header.cupsHeight, Bytes(header.cupsBytesPerLine, 0xFF));
    return page;
}
