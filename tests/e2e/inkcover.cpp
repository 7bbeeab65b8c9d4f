// inkcover: the share of dots inked within boxes of a printed page, to compare halftones.
//
// Usage: inkcover STREAM PAGE X,Y,W,H...     (dots on the paper, pages from 1)
// Prints one percentage per box; exit 1 when the stream is not well-formed or has no such page.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "pageimage.h"
#include "stream.h"

int main(int argc, char* argv[])
{
    if (argc < 4) {
        fprintf(stderr, "usage: inkcover STREAM PAGE X,Y,W,H...\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Stream stream;
    PageImage image;
    size_t page = size_t(strtoul(argv[2], nullptr, 10));
    if (!parseStream(data.data(), data.size(), stream) || !stream.settings || page < 1 || page > stream.pages.size() ||
        !renderPage(stream.pages[page - 1], stream.settings->paperWidth, stream.settings->paperHeight, image)) {
        printf("%s: no page %zu in a well-formed stream\n", argv[1], page);
        return 1;
    }
    for (int i = 3; i < argc; ++i) {
        unsigned x = 0, y = 0, w = 0, h = 0;
        if (sscanf(argv[i], "%u,%u,%u,%u", &x, &y, &w, &h) != 4 || w == 0 || h == 0 || x + w > image.width ||
            y + h > image.height) {
            fprintf(stderr, "inkcover: not a box on the page: %s\n", argv[i]);
            return 2;
        }
        unsigned long inked = 0;
        for (unsigned yy = y; yy < y + h; ++yy)
            for (unsigned xx = x; xx < x + w; ++xx)
                inked += (image.black[size_t(yy) * image.rowBytes + xx / 8] >> (7 - xx % 8)) & 1;
        printf("%.1f\n", 100.0 * double(inked) / (double(w) * h));
    }
    return 0;
}
