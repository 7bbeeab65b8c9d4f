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
#include "pagefit.h"
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
    // A page the printer cannot take as it is: kept whole, then fitted to the paper.
    bool fitting = false;
    PageFit fit;
    std::vector<uint8_t> page;     // its 8-bit lines
    std::vector<uint8_t> fitted;   // one line of the paper
};

// The largest page kept whole for fitting, in bytes: A3 at 600 dpi is 70 MB.
constexpr size_t kMaxFittedPageBytes = size_t(160) << 20;

// The paper of the job's media; A4 for one the printer does not take.
const korvi::Paper& jobPaper(const pappl_pr_options_t* options)
{
    for (const korvi::Paper& p : korvi::kPapers)
        if (strcmp(options->media.size_name, p.pwgName) == 0)
            return p;
    return korvi::kPapers[korvi::kPaperA4];
}

RasterJob* rasterJob(pappl_job_t* job)
{
    return static_cast<RasterJob*>(papplJobGetData(job));
}

// Sets up the fitting of a page (h) onto the job's paper and makes the filter's header (bits)
// the paper's. Refuses a page too large to keep.
bool startFitting(RasterJob& r, pappl_job_t* job, const cups_page_header2_t& h, const pappl_pr_options_t* options,
                  cups_page_header2_t& bits)
{
    if (uint64_t(h.cupsWidth) * h.cupsHeight > kMaxFittedPageBytes) {
        papplJobSetMessage(job, "A raster page of %u x %u dots is too large to fit to the paper.", h.cupsWidth,
                           h.cupsHeight);
        papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR, PAPPL_JREASON_NONE);
        return false;
    }
    const korvi::Paper& paper = jobPaper(options);
    r.fit = fitPage(h.cupsWidth, h.cupsHeight, paper, options->print_scaling == PAPPL_SCALING_NONE);
    r.page.assign(size_t(h.cupsWidth) * h.cupsHeight, r.grey == GreyKind::kBlackIsHigh ? 0 : 255);
    r.fitted.assign(r.fit.paperWidth, 0);
    papplLogJob(job, PAPPL_LOGLEVEL_INFO, "Page of %u x %u dots fitted to %s%s, scale %.3f.", h.cupsWidth,
                h.cupsHeight, paper.label, r.fit.turn ? ", turned" : "", r.fit.scale);
    bits.cupsWidth = r.fit.paperWidth;
    bits.cupsHeight = r.fit.paperHeight;
    bits.cupsBytesPerLine = (r.fit.paperWidth + 7) / 8;
    bits.PageSize[0] = paper.widthPt;
    bits.PageSize[1] = paper.lengthPt;
    bits.cupsPageSize[0] = float(paper.widthPt);
    bits.cupsPageSize[1] = float(paper.lengthPt);
    return true;
}

// Writes the kept page, fitted, to the filter.
bool writeFittedPage(RasterJob& r)
{
    const uint8_t white = r.grey == GreyKind::kBlackIsHigh ? 0 : 255;
    for (unsigned y = 0; y < r.fit.paperHeight; ++y) {
        fitLine(r.fit, r.page.data(), r.width, r.height, y, white, r.fitted.data());
        halftoneLine(r.fitted.data(), r.fitted.size(), y, r.grey, r.bits.data());
        if (cupsRasterWritePixels(r.raster, r.bits.data(), unsigned(r.bits.size())) == 0)
            return false;
    }
    return true;
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
    r->grey = space == CUPS_CSPACE_K ? GreyKind::kBlackIsHigh : GreyKind::kWhiteIsHigh;
    cups_page_header2_t bits = filterHeader(h, options->copies);
    // A page of one of the printer's papers, portrait, goes as it is, line by line; any other is
    // kept whole and fitted to the job's paper.
    r->fitting = !mediaForPoints(h.PageSize[0], h.PageSize[1]);
    if (r->fitting && !startFitting(*r, job, h, options, bits))
        return false;
    if (!cupsRasterWriteHeader2(r->raster, &bits))
        return false;
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
    ++r->lines;
    if (r->fitting) {
        if (y < r->height)
            memcpy(r->page.data() + size_t(y) * r->width, line, r->width);
        return true;
    }
    halftoneLine(line, r->width, y, r->grey, r->bits.data());
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
    if (r->fitting) {
        bool written = writeFittedPage(*r);
        r->page = {};  // pages that need no fitting keep no buffer
        if (!written)
            return false;
    }
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
bool rasterEndJob(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t* device)
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
    return jobEnds(job, device, sent);
}
