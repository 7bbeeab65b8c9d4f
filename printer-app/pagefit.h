// Fitting a raster page that the printer cannot take as it is (landscape, larger than the paper,
// or of a size it does not know) onto one of its papers, portrait: turned, scaled and centred.
#pragma once

#include <cstddef>
#include <cstdint>

#include "papers.h"

struct PageFit {
    unsigned paperWidth = 0, paperHeight = 0;  // the raster sent: the paper's, in dots
    bool turn = false;    // a landscape page is turned a quarter anticlockwise (IPP's landscape)
    double scale = 1.0;   // paper dots per page dot: below 1 for a page larger than the paper
    long left = 0, top = 0;  // where the turned, scaled page's corner lands; negative when cropped
};

// How a page of width x height dots goes onto the paper: turned when it is landscape, scaled
// down to fit when larger than the paper (cropped instead when `crop`), centred.
PageFit fitPage(unsigned width, unsigned height, const korvi::Paper& paper, bool crop);

// Line y of the paper, from the page's 8-bit grey pixels (width x height, row after row); paper
// outside the page is `white`. `out` takes fit.paperWidth pixels.
void fitLine(const PageFit& fit, const uint8_t* page, unsigned width, unsigned height, unsigned y, uint8_t white,
             uint8_t* out);
