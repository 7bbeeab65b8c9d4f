// The job's page cycle and its hooks. Page start, page end and the init command are not flushed
// by themselves; they leave with the next line frame, the settings block or the final flush.
#include "driver/job.h"

#include <cups/raster.h>

#include <cstdio>
#include <cstdlib>

#include "driver/pagescan.h"
#include "jobstate.h"
#include "output/commands.h"
#include "output/output.h"
#include "settings/settings.h"

namespace {

// Every job starts from the printer's default settings bytes.
void JobSetup()
{
    resetCommandTemplates();
    putCharArray(szInitCmd, sizeof szInitCmd);
}

void PageSetup()
{
    putCharArray(szStartPageCmd, sizeof szStartPageCmd);
    gFeed = 0;
}

// Flushes the job out. Returns non-zero when anything written to standard output was lost
// (closed pipe, full disk), so the caller can report the job as failed.
int JobFinish()
{
    int flushed = fflush(stdout);
    return flushed != 0 || ferror(stdout) != 0;
}

}  // namespace

void PageFinish()
{
    putCharArray(szEndPageCmd, sizeof szEndPageCmd);
    if (szRasterBuf)
        free(szRasterBuf);
    if (szCompressBuf)
        free(szCompressBuf);
    szRasterBuf = nullptr;
    szCompressBuf = nullptr;
}

int PrintJob(int fd, ppd_file_t* ppd, const char* options)
{
    cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_READ);
    cups_page_header2_t header;

    JobSetup();
    gPage = 0;
    bool pageFailed = false;
    // A job cancelled between pages (the signal may come while a header is being read) starts no
    // further page.
    while (!pageFailed && !gJobCanceled && cupsRasterReadHeader2(raster, &header) && !gJobCanceled) {
        // A page the printer cannot show (grey, colour) would come out as garbage or solid toner:
        // it is not started, and the job ends well-formed after the pages before it, as failed.
        if (!IsPrintablePage(header)) {
            pageFailed = true;
            break;
        }
        // Settings come from the first page alone and hold for the whole job.
        if (gPage == 0) {
            parsePrinterSettings(ppd, options, header);
            sendSettingsToPrinter();
        }
        ++gPage;
        PageSetup();
        pageFailed = !ScanPage(raster, header);
        PageFinish();
    }
    bool outputLost = JobFinish() != 0;
    cupsRasterClose(raster);
    return (gPage > 0 && !pageFailed && !outputLost) ? 0 : 1;
}
