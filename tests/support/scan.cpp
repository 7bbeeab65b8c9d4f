// Test toolkit: run the page scan in this process on one page of a raster stream.
#include "support/scan.h"

#include <fcntl.h>
#include <unistd.h>

#include "driver/job.h"
#include "driver/pagescan.h"
#include "jobstate.h"
#include "support/files.h"
#include "support/process.h"

ScanResult scanPage(const RasterPage& page, uint32_t marginLeft, uint32_t marginTop, cups_mode_t mode,
                    const std::function<void(cups_page_header2_t&)>& adjust)
{
    TempFile file;
    file.write(writeRaster({page}, mode));
    int fd = ::open(file.path().c_str(), O_RDONLY);
    cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_READ);
    cups_page_header2_t header;
    ScanResult result{false, {}};
    if (cupsRasterReadHeader2(raster, &header)) {
        if (adjust)
            adjust(header);
        gMarginLeft = marginLeft;
        gMarginTop = marginTop;
        result.out = captureStdout([&] {
            result.ok = ScanPage(raster, header);
            PageFinish();
        });
        gMarginLeft = gMarginTop = 0;
    }
    cupsRasterClose(raster);
    ::close(fd);
    return result;
}
