// The korvi_laser driver: 600 dpi monochrome, the PPD's five paper sizes and their printable area,
// print darkness for the print density, media types for the paper weight, copies made by the
// printer. Raster pages come in as 8-bit grey and are halftoned here.
#include "driver.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "documents.h"
#include "output/commands.h"
#include "options.h"
#include "queue.h"
#include "socket.h"
#include "raster.h"
#include "offline.h"
#include "state.h"

namespace {

// Margins in hundredths of millimetres that hold for all five sizes: the PPD's printable areas
// leave 4.74 mm on the left and 3.98 to 5.08 mm on the right; 4.32 mm at the top and 7.03 to
// 7.39 mm at the bottom. IPP gives one margin for left and right and one for top and bottom.
constexpr int kLeftRightMargin = 508;
constexpr int kBottomTopMargin = 740;

// A document already in the printer's format goes to the printer as it is; anything else that
// reaches here (a format no converter took) is refused rather than printed as garbage.
bool printNative(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t* device)
{
    if (!jobBegins(job, device))
        return false;
    int fd = open(papplJobGetFilename(job), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Cannot open %s: %s", papplJobGetFilename(job), strerror(errno));
        papplJobSetMessage(job, "The document could not be read.");
        return false;
    }
    unsigned char buffer[65536];
    ssize_t n = read(fd, buffer, sizeof buffer);
    // A document in the printer's own format starts with its init command.
    bool ok = n >= ssize_t(sizeof szInitCmd) && memcmp(buffer, szInitCmd, sizeof szInitCmd) == 0;
    if (!ok)
        papplJobSetMessage(job, "Documents of type %s cannot be printed.", papplJobGetFormat(job));
    for (; ok && n > 0; n = read(fd, buffer, sizeof buffer))
        ok = papplDeviceWrite(device, buffer, size_t(n)) >= 0;
    close(fd);
    papplDeviceFlush(device);
    return ok && n == 0;
}

void fillMedia(pappl_media_col_t& col, const char* sizeName)
{
    pwg_media_t* pwg = pwgMediaForPWG(sizeName);
    memset(&col, 0, sizeof col);
    strncpy(col.size_name, sizeName, sizeof col.size_name - 1);
    col.size_width = pwg ? pwg->width : 0;
    col.size_length = pwg ? pwg->length : 0;
    col.left_margin = col.right_margin = kLeftRightMargin;
    col.top_margin = col.bottom_margin = kBottomTopMargin;
    strncpy(col.source, "main", sizeof col.source - 1);
    strncpy(col.type, kKorviMediaTypes[kDefaultPaperWeight], sizeof col.type - 1);
}

}  // namespace

bool korviDriver(pappl_system_t*, const char* driverName, const char*, const char*, pappl_pr_driver_data_t* d,
                 ipp_t** attrs, void*)
{
    if (strcmp(driverName, kKorviDriverName) != 0)
        return false;
    strncpy(d->make_and_model, kKorviDriverDescription, sizeof d->make_and_model - 1);
    d->printfile_cb = printNative;
    d->rstartjob_cb = rasterStartJob;
    d->rstartpage_cb = rasterStartPage;
    d->rwriteline_cb = rasterWriteLine;
    d->rendpage_cb = rasterEndPage;
    d->rendjob_cb = rasterEndJob;
    d->format = kKorviFormat;
    d->kind = PAPPL_KIND_DOCUMENT;
    d->ppm = 20;
    d->color_supported = PAPPL_COLOR_MODE_AUTO | PAPPL_COLOR_MODE_MONOCHROME;
    d->color_default = PAPPL_COLOR_MODE_MONOCHROME;
    // 8-bit only: PAPPL's own 1-bit dithering overruns its line on pages wider than the media.
    d->raster_types = PAPPL_PWG_RASTER_TYPE_BLACK_8 | PAPPL_PWG_RASTER_TYPE_SGRAY_8;
    d->num_resolution = 1;
    d->x_resolution[0] = d->y_resolution[0] = 600;
    d->x_default = d->y_default = 600;
    d->sides_supported = PAPPL_SIDES_ONE_SIDED;
    d->sides_default = PAPPL_SIDES_ONE_SIDED;
    d->left_right = kLeftRightMargin;
    d->bottom_top = kBottomTopMargin;
    d->num_media = int(kKorviMediaCount);
    for (size_t i = 0; i < kKorviMediaCount; ++i)
        d->media[i] = kKorviMedia[i].pwgName;
    d->num_source = 1;
    d->source[0] = "main";
    fillMedia(d->media_default, kKorviMedia[0].pwgName);
    fillMedia(d->media_ready[0], kKorviMedia[0].pwgName);
    d->num_type = int(kKorviMediaTypeCount);
    for (size_t i = 0; i < kKorviMediaTypeCount; ++i)
        d->type[i] = kKorviMediaTypes[i];
    d->orient_default = IPP_ORIENT_PORTRAIT;
    d->has_supplies = true;
    d->darkness_supported = 5;  // PrintDensity 0..4
    d->darkness_configured = 50;
    d->darkness_default = 0;
    // One-sided: a raster page's back needs no turning; PAPPL names it only for duplex printers.
    *attrs = ippNew();
    ippAddString(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "pwg-raster-document-sheet-back", nullptr, "normal");
    return true;
}

void korviPrinterCreated(pappl_printer_t* printer, void*)
{
    limitQueue(printer);
    // The printer tells nothing back over its raw port: its toner is there, its level unknown.
    pappl_supply_t toner{};
    toner.color = PAPPL_SUPPLY_COLOR_BLACK;
    strncpy(toner.description, "Black Toner", sizeof toner.description - 1);
    toner.is_consumed = true;
    toner.level = -1;
    toner.type = PAPPL_SUPPLY_TYPE_TONER;
    papplPrinterSetSupplies(printer, 1, &toner);
}

bool jobBegins(pappl_job_t* job, pappl_device_t* device)
{
    saveJobStarted(job);
    if (!freshConnection(job, device))
        return false;
    printerReached(job);
    return true;
}
