// The read floor: reads a CUPS raster stream with libcups, line by line, and does nothing else.
// A filter can be no faster than this on the same input.
// Usage: rasterread [FILE]   (standard input without FILE)
#include <cups/raster.h>
#include <fcntl.h>
#include <unistd.h>

#include <vector>

int main(int argc, char* argv[])
{
    int fd = argc > 1 ? open(argv[1], O_RDONLY) : 0;
    if (fd < 0)
        return 1;
    cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_READ);
    cups_page_header2_t header;
    std::vector<unsigned char> line;
    int pages = 0;
    while (cupsRasterReadHeader2(raster, &header)) {
        ++pages;
        line.resize(header.cupsBytesPerLine);
        for (unsigned y = 0; y < header.cupsHeight; ++y)
            if (cupsRasterReadPixels(raster, line.data(), header.cupsBytesPerLine) == 0)
                break;
    }
    cupsRasterClose(raster);
    return pages > 0 ? 0 : 1;
}
