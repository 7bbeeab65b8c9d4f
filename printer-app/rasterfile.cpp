// A spooled raster document read page by page, as PAPPL reads a streamed one from its client:
// each page's header checked, its lines handed to the raster callbacks (raster.h), the pages
// counted as they start.
#include "rasterfile.h"

#include <cups/raster.h>
#include <fcntl.h>
#include <unistd.h>

#include <vector>

#include "raster.h"

namespace {

// The widest line taken: 8-bit grey at 600 dpi, 109 inches.
constexpr unsigned kMaxLineBytes = 65536;

// A page PAPPL's own reading would take: lines of whole 8-bit pixels, chunked, of a sane width.
bool pageReadable(pappl_job_t* job, const cups_page_header2_t& h)
{
    bool ok = h.cupsWidth > 0 && h.cupsHeight > 0 && h.cupsBitsPerColor == 8 && h.cupsBitsPerPixel == 8 &&
              h.cupsColorOrder == CUPS_ORDER_CHUNKED && h.cupsBytesPerLine == h.cupsWidth &&
              h.cupsBytesPerLine <= kMaxLineBytes;
    if (!ok) {
        papplJobSetMessage(job, "Raster pages must be 8-bit grey at 600 dpi.");
        papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, PAPPL_JREASON_NONE);
    }
    return ok;
}

// Prints the pages of `raster`, the first one's header in `h`; false when one could not be.
bool printPages(pappl_job_t* job, pappl_device_t* device, cups_raster_t* raster, cups_page_header2_t& h)
{
    std::vector<unsigned char> line;
    unsigned page = 0;
    do {
        if (papplJobIsCanceled(job))
            return true;
        ++page;
        papplJobSetImpressionsCompleted(job, 1);
        if (!pageReadable(job, h))
            return false;
        pappl_pr_options_t* options = papplJobCreatePrintOptions(job, unsigned(papplJobGetImpressions(job)), false);
        options->header = h;
        const bool started = rasterStartPage(job, options, device, page);  // a page refused is not ended
        bool ok = started;
        line.resize(h.cupsBytesPerLine);
        for (unsigned y = 0; ok && y < h.cupsHeight && !papplJobIsCanceled(job); ++y) {
            if (!cupsRasterReadPixels(raster, line.data(), h.cupsBytesPerLine))
                break;  // a page cut short: the end of the page says so
            ok = rasterWriteLine(job, options, device, y, line.data());
        }
        if (started)
            ok = rasterEndPage(job, options, device, page) && ok;
        papplJobDeletePrintOptions(options);
        if (!ok)
            return false;
    } while (cupsRasterReadHeader2(raster, &h));
    return true;
}

}  // namespace

bool printRasterFile(pappl_job_t* job, pappl_device_t* device, void*)
{
    const char* path = papplJobGetFilename(job);
    int fd = path ? open(path, O_RDONLY | O_CLOEXEC) : -1;
    cups_raster_t* raster = fd >= 0 ? cupsRasterOpen(fd, CUPS_RASTER_READ) : nullptr;
    cups_page_header2_t h;
    if (!raster || !cupsRasterReadHeader2(raster, &h)) {
        papplJobSetMessage(job, "The raster document could not be read.");
        papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, PAPPL_JREASON_NONE);
        if (raster)
            cupsRasterClose(raster);
        if (fd >= 0)
            close(fd);
        return false;
    }
    if (h.cupsInteger[CUPS_RASTER_PWG_TotalPageCount] > 0)
        papplJobSetImpressions(job, int(h.cupsInteger[CUPS_RASTER_PWG_TotalPageCount]));
    pappl_pr_options_t* options = papplJobCreatePrintOptions(job, unsigned(papplJobGetImpressions(job)), false);
    bool printed = rasterStartJob(job, options, device);
    if (printed) {
        printed = printPages(job, device, raster, h);
        printed = rasterEndJob(job, options, device) && printed;
    }
    papplJobDeletePrintOptions(options);
    cupsRasterClose(raster);
    close(fd);
    return printed;
}
