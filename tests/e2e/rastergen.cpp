// Writes the raster jobs that the cross-architecture check (scripts/cross-check.sh) feeds to each
// build of the filter: every width modulo 8 (tiny and page-wide), both colour spaces the filter
// takes and one it refuses, long runs and the lengths where the encoder's token kinds change,
// blank stretches, several paper sizes, a stream cut at awkward places and an empty one.
// Usage: rastergen DIR
#include <cstdio>
#include <random>
#include <string>

#include "support/raster.h"

namespace {

std::mt19937 gRandom(20261209);

Bytes randomLine(unsigned bytes)
{
    Bytes line(bytes);
    for (uint8_t& b : line)
        b = static_cast<uint8_t>(gRandom());
    return line;
}

// A line of runs: alternating black and white stretches of the given byte lengths, with a
// random byte between them so that runs and literals meet.
Bytes runLine(unsigned bytes, unsigned runBytes)
{
    Bytes line(bytes, 0xFF);
    bool black = true;
    for (unsigned at = 0; at < bytes; black = !black) {
        for (unsigned i = 0; i < runBytes && at < bytes; ++i)
            line[at++] = black ? 0x00 : 0xFF;
        if (at < bytes)
            line[at++] = static_cast<uint8_t>(gRandom());
    }
    return line;
}

// A page of mixed lines: random, runs of many lengths, blank stretches, a black line.
RasterPage mixedPage(cups_page_header2_t header)
{
    RasterPage page{header, {}};
    unsigned bytes = header.cupsBytesPerLine;
    for (unsigned y = 0; y < header.cupsHeight; ++y) {
        switch (y % 8) {
        case 0: case 1: page.lines.push_back(randomLine(bytes)); break;
        case 2: page.lines.push_back(runLine(bytes, 1 + y % 300)); break;
        case 3: page.lines.push_back(Bytes(bytes, 0x00)); break;
        case 4: page.lines.push_back(runLine(bytes, 2 + y * 7 % 1000)); break;
        default: page.lines.push_back(Bytes(bytes, 0xFF)); break;
        }
    }
    return page;
}

void save(const std::string& path, const Bytes& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
        std::perror(path.c_str());
        std::exit(2);
    }
}

std::vector<RasterPage> widthPages(cups_cspace_t space)
{
    std::vector<RasterPage> pages;
    for (unsigned width : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 15u, 16u, 17u, 63u, 64u, 65u,
                           129u, 4721u, 4722u, 4723u, 4724u, 4725u, 4726u, 4727u, 4728u}) {
        cups_page_header2_t h = makeHeader(width, 48);
        h.cupsColorSpace = space;
        pages.push_back(mixedPage(h));
    }
    return pages;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: rastergen DIR\n");
        return 2;
    }
    std::string dir = argv[1];
    save(dir + "/widths-W.ras", writeRaster(widthPages(CUPS_CSPACE_W)));
    save(dir + "/widths-K.ras", writeRaster(widthPages(CUPS_CSPACE_K), CUPS_RASTER_WRITE));
    save(dir + "/widths-sW.ras", writeRaster(widthPages(CUPS_CSPACE_SW), CUPS_RASTER_WRITE_PWG));

    std::vector<RasterPage> papers;
    for (auto size : {std::pair{595u, 842u}, {420u, 595u}, {498u, 708u}, {612u, 792u}, {612u, 1008u}})
        papers.push_back(mixedPage(makePaperHeader(size.first, size.second)));
    Bytes paperJob = writeRaster(papers);
    save(dir + "/papers.ras", paperJob);
    // Cut inside the first header, inside a page's lines, and one byte short of the end.
    save(dir + "/cut-header.ras", Bytes(paperJob.begin(), paperJob.begin() + 900));
    save(dir + "/cut-lines.ras", Bytes(paperJob.begin(), paperJob.begin() + paperJob.size() / 3));
    save(dir + "/cut-end.ras", Bytes(paperJob.begin(), paperJob.end() - 1));
    save(dir + "/empty.ras", Bytes());

    cups_page_header2_t rgb = makeHeader(4960, 16);
    rgb.cupsColorSpace = CUPS_CSPACE_RGB;
    save(dir + "/refused-rgb.ras", writeRaster({whitePage(rgb)}, CUPS_RASTER_WRITE));
    return 0;
}
