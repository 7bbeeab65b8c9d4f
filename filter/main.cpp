// rastertokorvilaserprinter: CUPS filter that turns a 1-bit, 600-dpi CUPS raster job into the
// command stream of Korvi monochrome laser printers.
//
// Usage (by the CUPS scheduler): rastertokorvilaserprinter job user title copies options [file]
// The printer's PPD is named by the PPD environment variable. Exit status 0 when at least one
// page was printed and the output was written whole, 1 otherwise. The filter writes no messages.
#include <cups/ppd.h>  // the PPD API is deprecated upstream but is what CUPS drivers use
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <cups/raster.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "driver/job.h"
#include "driver/pagescan.h"
#include "jobstate.h"
#include "settings/settings.h"

int main(int argc, char* argv[])
{
    setbuf(stderr, nullptr);

    if (argc != 6 && argc != 7)
        return 1;

    int fd = 0;
    if (argc == 7) {
        fd = open(argv[6], O_RDONLY);
        if (fd < 0) {
            sleep(1);
            return 1;
        }
    }

    const char* ppdPath = getenv("PPD");
    ppd_file_t* ppd = ppdPath ? ppdOpenFile(ppdPath) : nullptr;
    if (!ppd) {
        if (fd != 0)
            close(fd);
        return 1;
    }

    cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_READ);
    cups_page_header2_t header;

    JobSetup();
    gPage = 0;
    bool jobBroken = false;
    while (!jobBroken && cupsRasterReadHeader2(raster, &header)) {
        if (gPage == 0) {
            parsePrinterSettings(ppd, argv[5], header);
            sendSettingsToPrinter();
        }
        ++gPage;
        PageSetup();
        jobBroken = !ScanPage(raster, header);
        PageFinish();
    }
    bool outputLost = JobFinish() != 0;

    ppdClose(ppd);
    cupsRasterClose(raster);
    if (fd != 0)
        close(fd);

    return (gPage > 0 && !jobBroken && !outputLost) ? 0 : 1;
}
