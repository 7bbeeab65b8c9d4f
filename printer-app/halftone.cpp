// Halftone: a clustered-dot screen of two dots per 8 x 8 tile on a 45-degree lattice (106 lines
// per inch at 600 dpi), the kind of screen ghostscript puts on this printer's pages, so a
// document sent as raster prints with the same texture and the same ink as one sent as PDF.
#include "halftone.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr int kTile = 8;

using Thresholds = std::array<std::array<uint8_t, kTile>, kTile>;

// Orders the tile's 64 dots by their distance to the nearest dot centre (ties: the two dots in
// turn), and gives the k-th the threshold (2k + 1) * 255 / 128: a darkness above it inks the dot,
// so the inked share of the tile follows the darkness.
Thresholds makeThresholds()
{
    struct Spot {
        int distance, dot, x, y;
    };
    std::array<Spot, kTile * kTile> spots{};
    for (int y = 0; y < kTile; ++y)
        for (int x = 0; x < kTile; ++x) {
            Spot s{1 << 30, 0, x, y};
            // Dot centres: (2, 2) and (6, 6) and their images on the lattice (4, 4), (4, -4).
            for (int a = -3; a <= 3; ++a)
                for (int b = -3; b <= 3; ++b) {
                    int cx = 2 + 4 * a + 4 * b, cy = 2 + 4 * a - 4 * b;
                    int d = (x - cx) * (x - cx) + (y - cy) * (y - cy);
                    if (d < s.distance)
                        s = {d, ((a + b) % 2 + 2) % 2, x, y};
                }
            spots[size_t(y * kTile + x)] = s;
        }
    std::stable_sort(spots.begin(), spots.end(), [](const Spot& l, const Spot& r) {
        return l.distance != r.distance ? l.distance < r.distance : l.dot < r.dot;
    });
    Thresholds t{};
    for (size_t k = 0; k < spots.size(); ++k)
        t[size_t(spots[k].y)][size_t(spots[k].x)] = uint8_t((2 * k + 1) * 255 / 128);
    return t;
}

const Thresholds& thresholds()
{
    static const Thresholds table = makeThresholds();
    return table;
}

}  // namespace

void halftoneLine(const uint8_t* grey, size_t width, uint32_t y, GreyKind kind, uint8_t* out)
{
    const std::array<uint8_t, kTile>& row = thresholds()[y % kTile];
    const uint8_t flip = kind == GreyKind::kWhiteIsHigh ? 0xFF : 0x00;  // to darkness
    memset(out, 0, (width + 7) / 8);
    for (size_t x = 0; x < width; ++x) {
        const bool ink = uint8_t(grey[x] ^ flip) > row[x % kTile];
        if (!ink)
            out[x / 8] |= uint8_t(0x80 >> (x % 8));  // a set bit is white paper
    }
}
