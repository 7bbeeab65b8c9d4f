// Page fitting: the geometry, and one line of the fitted page at a time (nearest page pixel).
#include "pagefit.h"

#include <algorithm>
#include <cmath>

PageFit fitPage(unsigned width, unsigned height, const korvi::Paper& paper, bool crop)
{
    PageFit fit;
    fit.paperWidth = paper.widthDots;
    fit.paperHeight = paper.heightDots;
    fit.turn = width > height;
    double across = fit.turn ? height : width, down = fit.turn ? width : height;
    if (!crop && (across > fit.paperWidth || down > fit.paperHeight))
        fit.scale = std::min(fit.paperWidth / across, fit.paperHeight / down);
    fit.left = std::lround((fit.paperWidth - across * fit.scale) / 2);
    fit.top = std::lround((fit.paperHeight - down * fit.scale) / 2);
    return fit;
}

void fitLine(const PageFit& fit, const uint8_t* page, unsigned width, unsigned height, unsigned y, uint8_t white,
             uint8_t* out)
{
    std::fill(out, out + fit.paperWidth, white);
    const long across = fit.turn ? height : width, down = fit.turn ? width : height;
    const long v = long(std::floor((long(y) - fit.top) / fit.scale));
    if (v < 0 || v >= down)
        return;
    for (unsigned x = 0; x < fit.paperWidth; ++x) {
        const long u = long(std::floor((long(x) - fit.left) / fit.scale));
        if (u < 0 || u >= across)
            continue;
        // Turned anticlockwise: the page's top edge runs down the paper's left side.
        const size_t sx = fit.turn ? size_t(width - 1 - v) : size_t(u);
        const size_t sy = fit.turn ? size_t(u) : size_t(v);
        out[x] = page[sy * width + sx];
    }
}
