// Keeping the printer's two darkness values in line; the driver's own printer attributes.
#include "darkness.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <utility>

#include "options.h"

namespace {

std::mutex gLock;
std::map<int, std::pair<int, int>> gSeen;  // printer id: the (configured, default) last made to agree

int densityOfConfigured(int configured)
{
    return std::clamp((configured + 12) / 25, 0, 4);
}

int densityOfDefault(int byDefault)
{
    return std::clamp((byDefault + 125) / 50, 0, 4);
}

}  // namespace

void syncDarkness(pappl_printer_t* printer, bool loaded)
{
    std::lock_guard<std::mutex> lock(gLock);
    if (loaded)
        gSeen.erase(papplPrinterGetID(printer));
    pappl_pr_driver_data_t data;
    papplPrinterGetDriverData(printer, &data);
    const int configured = data.darkness_configured, byDefault = data.darkness_default;
    auto seen = gSeen.find(papplPrinterGetID(printer));
    int density;
    if (seen == gSeen.end() && configured == 25 * densityOfConfigured(configured) &&
        byDefault == 50 * (densityOfConfigured(configured) - 2))
        density = densityOfConfigured(configured);  // as it was left
    else if (seen == gSeen.end())
        density = printDensity(byDefault, configured);  // what its jobs printed with so far
    else if (configured != seen->second.first)
        density = densityOfConfigured(configured);
    else if (byDefault != seen->second.second)
        density = densityOfDefault(byDefault);
    else
        return;
    data.darkness_configured = 25 * density;
    data.darkness_default = 50 * (density - 2);
    gSeen[papplPrinterGetID(printer)] = {data.darkness_configured, data.darkness_default};
    if (data.darkness_configured != configured || data.darkness_default != byDefault)
        papplPrinterSetDriverDefaults(printer, &data, 0, nullptr);  // saved with the printer
    ipp_t* attrs = driverAttributes(data.darkness_default);
    papplPrinterSetDriverData(printer, &data, attrs);
    ippDelete(attrs);
}

int jobDarkness(pappl_job_t* job)
{
    ipp_attribute_t* asked = papplJobGetAttribute(job, "print-darkness");
    return asked ? std::clamp(ippGetInteger(asked, 0), -100, 100) : 0;
}

ipp_t* driverAttributes(int darknessDefault)
{
    ipp_t* attrs = ippNew();
    // One-sided: a raster page's back needs no turning; PAPPL names it only for duplex printers.
    ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "pwg-raster-document-sheet-back", nullptr, "normal");
    // Monochrome with no colour management: one rendering intent, and no preferred attributes
    // to offer beyond the job's own.
    ippAddBoolean(attrs, IPP_TAG_PRINTER, "preferred-attributes-supported", 0);
    ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-supported", nullptr, "auto");
    ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-default", nullptr, "auto");
    ippAddInteger(attrs, IPP_TAG_PRINTER, IPP_TAG_INTEGER, "print-darkness-default", darknessDefault);
    return attrs;
}
