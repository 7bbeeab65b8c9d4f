// inkcover: the share of dots inked within boxes of a printed page, to compare halftones; or,
// given the stream alone, where the ink of each page lies, to check a page's layout.
//
// Usage: inkcover STREAM PAGE X,Y,W,H...     (dots on the paper, pages from 1)
//        inkcover STREAM
// Prints one percentage per box; or per page "PAPER_W PAPER_H COPIES LEFT TOP RIGHT BOTTOM" (the
// ink's bounding box in dots, right and bottom exclusive; 0 0 0 0 for a blank page), then
// "beyond" when a line reaches past the paper. Exit 1 when the stream is not well-formed or has
// no such page.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "pageimage.h"
#include "stream.h"

namespace {

void printInkBoxes(const Stream& stream)
{
    for (const StreamPage& page : stream.pages) {
        PageImage image;
        if (!renderPage(page, stream.settings->paperWidth, stream.settings->paperHeight, image)) {
            printf("unrenderable\n");
            continue;
        }
        uint32_t left = image.width, top = image.height, right = 0, bottom = 0;
        for (uint32_t y = 0; y < image.height; ++y)
            for (uint32_t x = 0; x < image.width; ++x)
                if ((image.black[size_t(y) * image.rowBytes + x / 8] >> (7 - x % 8)) & 1) {
                    left = std::min(left, x), right = std::max(right, x + 1);
                    top = std::min(top, y), bottom = std::max(bottom, y + 1);
                }
        if (right == 0)
            left = top = 0;
        printf("%u %u %u %u %u %u %u%s\n", stream.settings->paperWidth, stream.settings->paperHeight,
               stream.settings->copies, left, top, right, bottom, image.largerThanPaper ? " beyond" : "");
    }
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc == 2) {
        std::ifstream in(argv[1], std::ios::binary);
        std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        Stream stream;
        if (!parseStream(data.data(), data.size(), stream) || (!stream.settings && !stream.pages.empty())) {
            printf("%s: not a well-formed stream\n", argv[1]);
            return 1;
        }
        printInkBoxes(stream);
        return 0;
    }
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
