// Halftone: 8-bit grey lines made into the filter's 1-bit lines (a set bit is white paper).
#pragma once

#include <cstddef>
#include <cstdint>

// Which way round the grey values are: sGray (0 black, 255 white) or device black (0 white).
enum class GreyKind { kWhiteIsHigh, kBlackIsHigh };

// Makes one line of `width` grey pixels into (width + 7) / 8 bytes at `out`, for line `y` of
// the page: a clustered-dot screen, as laser printers and ghostscript use, with ghostscript's
// tones. Bits past the width are 0.
void halftoneLine(const uint8_t* grey, size_t width, uint32_t y, GreyKind kind, uint8_t* out);
