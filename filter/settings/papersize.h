// Paper size in printer dots and the margins that place the raster on the paper.
#pragma once

#include <cups/raster.h>

#include <cstdint>

// Largest paper dimension, in dots, that the paper-size command can carry (over 109 inches).
constexpr uint32_t kMaxPaperDots = 65535;

struct PaperDots {
    uint32_t width;
    uint32_t height;
};

// Points to 600-dpi dots in single precision, truncated toward zero; NaN and negative sizes give
// 0, sizes beyond 32 bits give the largest value.
uint32_t pointsToDots(float points);

// The paper of the page in dots: the printer's own figures for its known sizes, else the
// conversion of cupsPageSize (of PageSize where cupsPageSize is 0, as in PWG raster); each
// dimension capped at kMaxPaperDots.
PaperDots paperSizeInDots(const cups_page_header2_t& header);

// Sets gMarginLeft (bytes) to centre the raster across the paper and gMarginTop (lines) to put
// three eighths of the spare height above it; 0 where the raster is as large as the paper.
void setPageMargins(const cups_page_header2_t& header, PaperDots paper);
