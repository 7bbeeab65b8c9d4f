// placecheck: finds square marks on the first printed page of a printer stream and says how far
// each lies from where the document put it. Each mark is given by the dot where the document puts
// its top-left corner and its side in dots; the mark is looked for within a window around that
// place, and its top-left corner is the corner of the ink found there.
//
// Usage: placecheck STREAM SIDE TOLERANCE X,Y...
// Prints one line per mark; exit 0 when every mark is found, SIDE wide and tall, and within
// TOLERANCE dots of its place, 1 otherwise, 2 on usage or I/O errors.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "pageimage.h"
#include "stream.h"

namespace {

struct Box {
    long left = -1, top = -1, right = -1, bottom = -1;  // inclusive; left -1: no ink
};

bool isBlack(const PageImage& image, long x, long y)
{
    if (x < 0 || y < 0 || x >= long(image.width) || y >= long(image.height))
        return false;
    return (image.black[size_t(y) * image.rowBytes + size_t(x) / 8] >> (7 - x % 8)) & 1;
}

// The ink within a window of a side's width around the mark's place.
Box inkAround(const PageImage& image, long x, long y, long side)
{
    Box box;
    for (long yy = y - side; yy < y + 2 * side; ++yy)
        for (long xx = x - side; xx < x + 2 * side; ++xx) {
            if (!isBlack(image, xx, yy))
                continue;
            if (box.left < 0) {
                box = {xx, yy, xx, yy};
                continue;
            }
            box.left = std::min(box.left, xx);
            box.right = std::max(box.right, xx);
            box.top = std::min(box.top, yy);
            box.bottom = std::max(box.bottom, yy);
        }
    return box;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc < 4) {
        fprintf(stderr, "usage: placecheck STREAM SIDE TOLERANCE X,Y...\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Stream stream;
    PageImage image;
    if (!parseStream(data.data(), data.size(), stream) || !stream.settings || stream.pages.empty() ||
        !renderPage(stream.pages[0], stream.settings->paperWidth, stream.settings->paperHeight, image)) {
        printf("%s: not a well-formed printer stream with a page\n", argv[1]);
        return 1;
    }
    const long side = strtol(argv[2], nullptr, 10);
    const long tolerance = strtol(argv[3], nullptr, 10);
    bool placed = true;
    for (int i = 4; i < argc; ++i) {
        long x = 0, y = 0;
        if (sscanf(argv[i], "%ld,%ld", &x, &y) != 2) {
            fprintf(stderr, "placecheck: not a place: %s\n", argv[i]);
            return 2;
        }
        Box ink = inkAround(image, x, y, side);
        if (ink.left < 0) {
            printf("mark at %ld,%ld: not found\n", x, y);
            placed = false;
            continue;
        }
        long dx = ink.left - x, dy = ink.top - y;
        long w = ink.right - ink.left + 1, h = ink.bottom - ink.top + 1;
        bool good = labs(dx) <= tolerance && labs(dy) <= tolerance && labs(w - side) <= tolerance &&
                    labs(h - side) <= tolerance;
        printf("mark at %ld,%ld: off by (%+ld, %+ld), %ld x %ld dots%s\n", x, y, dx, dy, w, h,
               good ? "" : "  <- misplaced");
        placed = placed && good;
    }
    return placed ? 0 : 1;
}
