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

// Darkness (0 white, 255 black) of each grey value. Ghostscript's screen on this printer's PPD
// puts about 3.5 points less ink than a grey asks for (measured on a ramp: 6 % for a 10 % grey,
// 44 % for 50 %, 84 % for 90 %); the same curve here keeps a raster page's tones those of the same
// page sent as PDF.
using ToneCurve = std::array<uint8_t, 256>;

ToneCurve makeToneCurve(bool whiteIsHigh)
{
    ToneCurve curve{};
    for (int v = 0; v < 256; ++v) {
        const int dark = whiteIsHigh ? 255 - v : v;
        const int ink = dark == 255 ? 255 : (dark * 977 - 35 * 255 + 500) / 1000;  // solid stays solid
        curve[size_t(v)] = uint8_t(std::clamp(ink, 0, 255));
    }
    return curve;
}

const ToneCurve& toneCurve(GreyKind kind)
{
    static const ToneCurve white = makeToneCurve(true), black = makeToneCurve(false);
    return kind == GreyKind::kWhiteIsHigh ? white : black;
}

}  // namespace

void halftoneLine(const uint8_t* grey, size_t width, uint32_t y, GreyKind kind, uint8_t* out)
{
    const std::array<uint8_t, kTile>& row = thresholds()[y % kTile];
    const ToneCurve& darkness = toneCurve(kind);
    memset(out, 0, (width + 7) / 8);
    for (size_t x = 0; x < width; ++x) {
        const bool ink = darkness[grey[x]] > row[x % kTile];
        if (!ink)
            out[x / 8] |= uint8_t(0x80 >> (x % 8));  // a set bit is white paper
    }
}
