// Raster jobs. The filter runs as a child from the job's start to its end; a thread streams its
// output to the printer while PAPPL's job thread writes the pages into its standard input.
// PAPPL's own drivers encode lines in process, but the filter keeps its job in process-wide state
// (command templates, margins, page count): one job per process, so two printers printing at
// once, or a job after a cancelled one, could not share it. A child process also keeps the
// filter's exit status meaning the same here as under CUPS.
#include "raster.h"

#include <cups/raster.h>
#include <unistd.h>

#include <cstring>
#include <thread>
#include <vector>

#include "chain.h"
#include "documents.h"
#include "driver.h"
#include "halftone.h"
#include "options.h"
#include "paths.h"

namespace {

struct RasterJob {
    Chain chain;
    cups_raster_t* raster = nullptr;
    std::thread sender;
    bool sent = false;             // what runChain returned
    std::vector<uint8_t> bits;     // one halftoned line
    GreyKind grey = GreyKind::kWhiteIsHigh;
    unsigned width = 0;            // of the page being written
    unsigned height = 0;
    unsigned lines = 0;            // written of this page
    bool pageOpen = false;
};

RasterJob* rasterJob(pappl_job_t* job)
{
    return static_cast<RasterJob*>(papplJobGetData(job));
}

// The filter's 1-bit, white-is-set page header for a page of the client's 8-bit grey header.
cups_page_header2_t filterHeader(const cups_page_header2_t& grey, int copies)
{
    cups_page_header2_t h = grey;
    h.cupsBitsPerColor = 1;
    h.cupsBitsPerPixel = 1;
    h.cupsBytesPerLine = (grey.cupsWidth + 7) / 8;
    h.cupsColorSpace = CUPS_CSPACE_W;
    h.cupsColorOrder = CUPS_ORDER_CHUNKED;
    h.cupsNumColors = 1;
    h.NumCopies = unsigned(copies > 0 ? copies : 1);  // the printer makes the copies
    // Raster formats give the size from the dots; the printer knows its papers by the PPD's points.
    if (const korvi::Paper* m = mediaForPoints(h.PageSize[0], h.PageSize[1])) {
        h.PageSize[0] = m->widthPt;
        h.PageSize[1] = m->lengthPt;
        h.cupsPageSize[0] = float(m->widthPt);
        h.cupsPageSize[1] = float(m->lengthPt);
    }
    return h;
}

}  // namespace

bool rasterStartJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device)
{
    if (!jobBegins(job, device))
        return false;
    auto* r = new RasterJob;
    if (!startChain(r->chain, {korviPaths().filter}, chainJob(job, options, "application/vnd.cups-raster"), -1)) {
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "The filter could not be started: %s", r->chain.failure.c_str());
        delete r;
        papplJobSetMessage(job, "The printer's filter could not be started.");
        return false;
    }
    // From here on the job's end callback is called whatever happens, and cleans up.
    papplJobSetData(job, r);
    r->raster = cupsRasterOpen(r->chain.input, CUPS_RASTER_WRITE);
    if (!r->raster)  // the pages are then refused; the filter sees its input end and prints nothing
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Cannot write raster to the filter: %s", cupsLastErrorString());
    r->sender = std::thread([r, job, device] { r->sent = runChain(r->chain, job, device); });
    return true;
}

bool rasterStartPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t*, unsigned)
{
    RasterJob* r = rasterJob(job);
    const cups_page_header2_t& h = options->header;
    if (!r || !r->raster)
        return false;
    unsigned space;  // as the client sent it: any number, not only the enumeration's
    memcpy(&space, &h.cupsColorSpace, sizeof space);
    if (h.cupsBitsPerPixel != 8 || h.HWResolution[0] != 600 || h.HWResolution[1] != 600 ||
        (space != CUPS_CSPACE_SW && space != CUPS_CSPACE_K && space != CUPS_CSPACE_W)) {
        papplJobSetMessage(job, "Raster pages must be 8-bit grey at 600 dpi.");
        papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR, PAPPL_JREASON_NONE);
        return false;
    }
    cups_page_header2_t bits = filterHeader(h, options->copies);
    if (!cupsRasterWriteHeader2(r->raster, &bits))
        return false;
    r->grey = space == CUPS_CSPACE_K ? GreyKind::kBlackIsHigh : GreyKind::kWhiteIsHigh;
    r->width = h.cupsWidth;
    r->height = h.cupsHeight;
    r->lines = 0;
    r->bits.assign(bits.cupsBytesPerLine, 0);
    r->pageOpen = true;
    return true;
}

bool rasterWriteLine(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*, unsigned y, const unsigned char* line)
{
    RasterJob* r = rasterJob(job);
    if (!r || !r->pageOpen)
        return false;
    halftoneLine(line, r->width, y, r->grey, r->bits.data());
    ++r->lines;
    return cupsRasterWritePixels(r->raster, r->bits.data(), unsigned(r->bits.size())) != 0;
}

// A page the client sent short (PAPPL goes on as if it were whole) ends the job as failed; the
// filter closes the part it was given.
bool rasterEndPage(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*, unsigned page)
{
    RasterJob* r = rasterJob(job);
    if (!r)
        return false;
    r->pageOpen = false;
    if (r->lines < r->height && !papplJobIsCanceled(job)) {
        papplJobSetMessage(job, "Page %u of the raster document is cut short (%u of %u lines).", page, r->lines,
                           r->height);
        papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, PAPPL_JREASON_NONE);
        return false;
    }
    return true;
}

// Ends the filter's input; the filter finishes (a page cut short by a cancel is closed as it
// stands), the sender streams the rest to the printer and the chain is reaped.
bool rasterEndJob(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*)
{
    RasterJob* r = rasterJob(job);
    if (!r)
        return false;
    if (r->raster)
        cupsRasterClose(r->raster);
    if (r->chain.input >= 0) {
        close(r->chain.input);
        r->chain.input = -1;
    }
    if (r->sender.joinable())
        r->sender.join();
    bool sent = r->sent;
    papplJobSetData(job, nullptr);
    delete r;
    return sent;
}
