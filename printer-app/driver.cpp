// The korvi_laser driver: 600 dpi monochrome, the PPD's five paper sizes and their printable area,
// print darkness for the print density, media types for the paper weight, copies made by the
// printer. Raster pages come in as 8-bit grey and are halftoned here.
#include "driver.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "darkness.h"
#include "names.h"
#include "documents.h"
#include "icons.h"
#include "printercommands.h"
#include "options.h"
#include "queue.h"
#include "socket.h"
#include "raster.h"
#include "offline.h"
#include "state.h"
#include "testpage.h"

namespace {

// Margins in hundredths of millimetres that hold for every size's printable area (5.08 mm left
// and right, 7.40 mm top and bottom): IPP gives one margin for left and right, one for top and
// bottom.
constexpr int kLeftRightMargin = int(korvi::widestMargin(true));
constexpr int kBottomTopMargin = int(korvi::widestMargin(false));
static_assert(kLeftRightMargin == 508 && kBottomTopMargin == 740);

// A document in the driver's own format goes to the printer as it is: PAPPL calls this only for
// that format (by name, or recognised by its first bytes). A document that only claims the
// format, without the printer's init command in front, is refused rather than sent as garbage.
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
    bool ok = n >= ssize_t(sizeof korvi::kInitCmd) && memcmp(buffer, korvi::kInitCmd, sizeof korvi::kInitCmd) == 0;
    if (!ok)
        papplJobSetMessage(job, "Documents of type %s cannot be printed.", papplJobGetFormat(job));
    for (; ok && n > 0; n = read(fd, buffer, sizeof buffer))
        ok = papplDeviceWrite(device, buffer, size_t(n)) >= 0;
    close(fd);
    return jobEnds(job, device, ok && n == 0);
}

void fillMedia(pappl_media_col_t& col, const char* sizeName)
{
    pwg_media_t* pwg = pwgMediaForPWG(sizeName);
    memset(&col, 0, sizeof col);
    papplCopyString(col.size_name, sizeName, sizeof col.size_name);
    col.size_width = pwg ? pwg->width : 0;
    col.size_length = pwg ? pwg->length : 0;
    col.left_margin = col.right_margin = kLeftRightMargin;
    col.top_margin = col.bottom_margin = kBottomTopMargin;
    papplCopyString(col.source, "main", sizeof col.source);
    papplCopyString(col.type, kKorviMediaTypes[kDefaultPaperWeight], sizeof col.type);
}

}  // namespace

bool korviDriver(pappl_system_t*, const char* driverName, const char*, const char*, pappl_pr_driver_data_t* d,
                 ipp_t** attrs, void*)
{
    if (strcmp(driverName, kKorviDriverName) != 0)
        return false;
    papplCopyString(d->make_and_model, kKorviDriverDescription, sizeof d->make_and_model);
    d->printfile_cb = printNative;
    d->rstartjob_cb = rasterStartJob;
    d->rstartpage_cb = rasterStartPage;
    d->rwriteline_cb = rasterWriteLine;
    d->rendpage_cb = rasterEndPage;
    d->rendjob_cb = rasterEndJob;
    d->testpage_cb = korviTestPage;
    for (int i = 0; i < 3; i++) {
        d->icons[i].data = kKorviIcons[i].data;
        d->icons[i].datalen = kKorviIcons[i].size;
    }
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
    d->num_media = int(korvi::kPaperCount);
    for (unsigned i = 0; i < korvi::kPaperCount; ++i)
        d->media[i] = korvi::kPapers[i].pwgName;
    d->num_source = 1;
    d->source[0] = "main";
    fillMedia(d->media_default, korvi::kPapers[korvi::kPaperA4].pwgName);
    fillMedia(d->media_ready[0], korvi::kPapers[korvi::kPaperA4].pwgName);
    d->num_type = int(kKorviMediaTypeCount);
    for (size_t i = 0; i < kKorviMediaTypeCount; ++i)
        d->type[i] = kKorviMediaTypes[i];
    // Portrait by default (IPP Everywhere wants one of 3 to 6), which leaves a document's pages as
    // they are: see layoutOptions.
    d->orient_default = IPP_ORIENT_PORTRAIT;
    d->has_supplies = true;
    d->darkness_supported = kDarknessLevels;
    d->darkness_configured = 50;
    d->darkness_default = 0;
    *attrs = driverAttributes();
    return true;
}

void korviPrinterCreated(pappl_printer_t* printer, void*)
{
    limitQueue(printer);
    // Made again now that the printer has its own attributes: PAPPL 1.3.1 makes the driver's
    // before them and so gives pdf-k-octets-supported and jpeg-k-octets-supported as 0-0. The
    // one time they are replaced: as the printer is made, before clients have had a moment to ask.
    pappl_pr_driver_data_t data;
    papplPrinterGetDriverData(printer, &data);
    ipp_t* attrs = driverAttributes();
    papplPrinterSetDriverData(printer, &data, attrs);
    ippDelete(attrs);
    // The printer tells nothing back over its raw port: its toner is there, its level unknown
    // (-2 is IPP's "unknown" for marker-levels).
    pappl_supply_t toner{};
    toner.color = PAPPL_SUPPLY_COLOR_BLACK;
    papplCopyString(toner.description, "Black Toner", sizeof toner.description);
    toner.is_consumed = true;
    toner.level = -2;
    toner.type = PAPPL_SUPPLY_TYPE_TONER;
    papplPrinterSetSupplies(printer, 1, &toner);
    nameForClients(printer);
}

bool jobBegins(pappl_job_t* job, pappl_device_t* device)
{
    saveNow(papplPrinterGetSystem(papplJobGetPrinter(job)));
    if (!freshConnection(job, device))
        return false;
    printerReached(job);
    return true;
}

bool jobEnds(pappl_job_t* job, pappl_device_t* device, bool printed)
{
    endConnection(job, device);
    return printed;
}
