// papercheck: compares what a printer stream puts on paper with the raster it was made from.
// Every page of the stream is drawn as the printer would print it and compared dot for dot with
// the same page of the raster, placed where the document has it: at the printable area the
// raster covers (cupsImagingBBox, from the PPD), measured from the paper's top-left corner. Dots
// the raster does not have, and dots of the raster that are missing, are counted per page.
//
// Usage: papercheck RASTER STREAM      exit 0 when every page matches, 1 otherwise, 2 on I/O errors
#include <cups/raster.h>
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "pageimage.h"
#include "stream.h"

namespace {

struct Offset {
    uint32_t leftBytes, top;
};

// Where the raster's first dot belongs on the paper: the printable area's top-left corner in
// dots. False when it does not fall on a whole byte (the printer can only be that far out).
bool placement(const cups_page_header2_t& h, Offset& at)
{
    long left = lround(h.cupsImagingBBox[0] * 600.0 / 72.0);
    long top = lround((h.cupsPageSize[1] - h.cupsImagingBBox[3]) * 600.0 / 72.0);
    at = {uint32_t(left / 8), uint32_t(top)};
    return left >= 0 && top >= 0 && left % 8 == 0;
}

// The raster page drawn on the image's grid: 1 = black, bits past cupsWidth white.
std::vector<uint8_t> expectedImage(cups_raster_t* raster, const cups_page_header2_t& h, const PageImage& image,
                                   Offset at)
{
    std::vector<uint8_t> black(image.black.size(), 0x00);
    std::vector<uint8_t> line(h.cupsBytesPerLine);
    const uint32_t pixelBytes = (h.cupsWidth + 7) / 8;
    const uint8_t lastMask = h.cupsWidth % 8 ? uint8_t(0xFF << (8 - h.cupsWidth % 8)) : 0xFF;
    for (uint32_t y = 0; y < h.cupsHeight; ++y) {
        if (cupsRasterReadPixels(raster, line.data(), h.cupsBytesPerLine) == 0)
            break;
        if (y + at.top >= image.height)
            continue;
        uint8_t* row = black.data() + size_t(y + at.top) * image.rowBytes;
        for (uint32_t i = 0; i < pixelBytes && at.leftBytes + i < image.rowBytes; ++i)
            row[at.leftBytes + i] = uint8_t(~line[i] & (i + 1 == pixelBytes ? lastMask : 0xFF));
    }
    return black;
}

bool readFile(const char* path, std::vector<uint8_t>& data)
{
    std::ifstream in(path, std::ios::binary);
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return bool(in) || in.eof();
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc != 3) {
        fprintf(stderr, "usage: papercheck RASTER STREAM\n");
        return 2;
    }
    std::vector<uint8_t> data;
    int fd = open(argv[1], O_RDONLY);
    if (fd < 0 || !readFile(argv[2], data)) {
        fprintf(stderr, "papercheck: cannot read the raster or the stream\n");
        return 2;
    }
    Stream stream;
    if (!parseStream(data.data(), data.size(), stream) || !stream.settings) {
        printf("%s: not a well-formed printer stream\n", argv[2]);
        return 1;
    }
    cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_READ);
    cups_page_header2_t header;
    size_t page = 0;
    bool same = true;
    while (cupsRasterReadHeader2(raster, &header)) {
        if (page == stream.pages.size()) {
            printf("page %zu: in the raster, not in the stream\n", page + 1);
            same = false;
            break;
        }
        const StreamSettings& s = *stream.settings;
        PageImage image;
        if (!renderPage(stream.pages[page], s.paperWidth, s.paperHeight, image)) {
            printf("page %zu: too large to draw\n", page + 1);
            same = false;
            break;
        }
        Offset at;
        if (!placement(header, at)) {
            printf("page %zu: the printable area's left edge is not on a whole byte\n", page + 1);
            same = false;
            break;
        }
        std::vector<uint8_t> expected = expectedImage(raster, header, image, at);
        size_t extra = 0, missing = 0;
        for (size_t i = 0; i < expected.size(); ++i) {
            extra += size_t(__builtin_popcount(image.black[i] & ~expected[i] & 0xFF));
            missing += size_t(__builtin_popcount(expected[i] & ~image.black[i] & 0xFF));
        }
        printf("page %zu: %zu dots printed that the document does not have, %zu dots missing\n", page + 1, extra,
               missing);
        same = same && extra == 0 && missing == 0;
        ++page;
    }
    if (page < stream.pages.size()) {
        printf("the stream has %zu pages, the raster %zu\n", stream.pages.size(), page);
        same = false;
    }
    cupsRasterClose(raster);
    close(fd);
    return same ? 0 : 1;
}
