// Paper size in printer dots and the margins that place the raster on the paper.
#include "settings/papersize.h"

#include <algorithm>
#include <cmath>

#include "jobstate.h"
#include "papers.h"

namespace {

struct KnownPaper {
    unsigned widthPt, lengthPt;
    PaperDots dots;
};

constexpr KnownPaper portrait(const korvi::Paper& p)
{
    return {p.widthPt, p.lengthPt, {p.widthDots, p.heightDots}};
}

constexpr KnownPaper landscape(const korvi::Paper& p)
{
    return {p.lengthPt, p.widthPt, {p.heightDots, p.widthDots}};
}

// The printer's own figures for these sizes differ from the plain conversion (A4 is 4960 dots
// wide, not 4958), so they are matched on the page size in points first. Of the landscape
// sizes, the printer knows only A5 by its own figures; A4 landscape takes the conversion.
const KnownPaper kKnownPapers[] = {
    portrait(korvi::kPapers[korvi::kPaperA4]),
    landscape(korvi::kPapers[korvi::kPaperA5]),
    portrait(korvi::kPapers[korvi::kPaperA5]),
    portrait(korvi::kPapers[korvi::kPaperB5]),
};

// PWG raster (version 3) has no cupsPageSize: libcups gives 0 there, and the whole-point
// PageSize is then the page's size.
float pagePoints(const cups_page_header2_t& header, int axis)
{
    return header.cupsPageSize[axis] == 0.0f ? float(header.PageSize[axis]) : header.cupsPageSize[axis];
}

}  // namespace

uint32_t pointsToDots(float points)
{
    float dots = points * 600.0f / 72.0f;
    if (std::isnan(dots) || dots <= 0.0f)
        return 0;
    if (dots >= 4294967296.0f)
        return UINT32_MAX;
    return static_cast<uint32_t>(dots);
}

PaperDots paperSizeInDots(const cups_page_header2_t& header)
{
    PaperDots paper{pointsToDots(pagePoints(header, 0)), pointsToDots(pagePoints(header, 1))};
    for (const KnownPaper& known : kKnownPapers)
        if (header.PageSize[0] == known.widthPt && header.PageSize[1] == known.lengthPt)
            paper = known.dots;
    // Margins derive from the paper too: an absurd paper size must not become megabytes of
    // margin per line or millions of blank lines per page.
    return PaperDots{std::min(paper.width, kMaxPaperDots), std::min(paper.height, kMaxPaperDots)};
}

void setPageMargins(const cups_page_header2_t& header, PaperDots paper)
{
    gMarginLeft = header.cupsWidth < paper.width ? (paper.width - header.cupsWidth) >> 4 : 0;
    gMarginTop = header.cupsHeight < paper.height ? ((paper.height - header.cupsHeight) >> 3) * 3 : 0;
}
