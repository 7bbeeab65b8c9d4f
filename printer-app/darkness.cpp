// Keeping the printer's two darkness values in line; the driver's own printer attributes.
#include "darkness.h"

#include <algorithm>

#include "options.h"

namespace {

int densityOfConfigured(int configured)
{
    return std::clamp((configured + 12) / 25, 0, 4);
}

int densityOfDefault(int byDefault)
{
    return std::clamp((byDefault + 125) / 50, 0, 4);
}

bool agreeing(const pappl_pr_driver_data_t& data)
{
    int density = densityOfConfigured(data.darkness_configured);
    return data.darkness_configured == 25 * density && data.darkness_default == 50 * (density - 2);
}

void setDensity(pappl_pr_driver_data_t& data, int density)
{
    data.darkness_configured = 25 * density;
    data.darkness_default = 50 * (density - 2);
}

}  // namespace

void agreeDarkness(const pappl_pr_driver_data_t& now, pappl_pr_driver_data_t& wanted)
{
    if (wanted.darkness_configured != now.darkness_configured || wanted.darkness_default == now.darkness_default)
        setDensity(wanted, densityOfConfigured(wanted.darkness_configured));
    else
        setDensity(wanted, densityOfDefault(wanted.darkness_default));
}

void loadDarkness(pappl_printer_t* printer)
{
    pappl_pr_driver_data_t data;
    papplPrinterGetDriverData(printer, &data);
    if (agreeing(data))
        return;
    setDensity(data, printDensity(data.darkness_default, data.darkness_configured));
    papplPrinterSetDriverDefaults(printer, &data, 0, nullptr);  // saved with the printer
}

int jobDarkness(pappl_job_t* job)
{
    ipp_attribute_t* asked = papplJobGetAttribute(job, "print-darkness");
    return asked ? std::clamp(ippGetInteger(asked, 0), -100, 100) : 0;
}

ipp_t* driverAttributes()
{
    ipp_t* attrs = ippNew();
    // One-sided: a raster page's back needs no turning; PAPPL names it only for duplex printers.
    ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "pwg-raster-document-sheet-back", nullptr, "normal");
    // Monochrome with no colour management: one rendering intent, and no preferred attributes
    // to offer beyond the job's own.
    ippAddBoolean(attrs, IPP_TAG_PRINTER, "preferred-attributes-supported", 0);
    ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-supported", nullptr, "auto");
    ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-default", nullptr, "auto");
    return attrs;
}
