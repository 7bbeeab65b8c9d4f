// What the standard IPP job attributes mean for this printer: media sizes (korvi::kPapers, A4
// first and the default) by their PWG names and the PPD's size names, media types for the paper weights, and print darkness for the density.
#pragma once

#include <cstddef>

#include "papers.h"


// IPP "media-type" keywords for PaperWeight 0..3 (thin, plain, thick, thicker); plain is the default.
extern const char* const kKorviMediaTypes[];
extern const size_t kKorviMediaTypeCount;
constexpr int kDefaultPaperWeight = 1;

// The PPD's size name for a PWG media name; A4 for one the printer does not take.
const char* ppdPageSize(const char* pwgName);

// The media whose size in points lies within 2 points of the given one, or nullptr. A raster page
// of A4 computed from its dots (594.96 x 842.04) is still A4 to the printer.
const korvi::Paper* mediaForPoints(unsigned widthPt, unsigned lengthPt);

// PaperWeight 0..3 for an IPP media type; plain paper for an unknown or missing one.
int paperWeight(const char* mediaType);

// PrintDensity 0..4 from the job's "print-darkness" (-100..100, 0 normal) and the printer's
// "printer-darkness-configured" (0..100, 50 normal): the job's darkness moves the printer's by
// half its value, and the result falls into one of five equal steps.
int printDensity(int printDarkness, int darknessConfigured);
