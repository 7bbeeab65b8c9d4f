// Where the Printer Application finds the driver's filter and PPD, and CUPS's converters. Run from
// the build tree it uses the filter and PPD built beside it; installed, the installed ones.
#pragma once

#include <string>

struct KorviPaths {
    std::string filter;     // rastertokorvilaserprinter
    std::string ppd;        // korvilaser.ppd
    std::string cupsFilters; // the folder of CUPS's converters (pdftopdf, gstoraster, ...)
};

const KorviPaths& korviPaths();

// The server's spool directory, as it was given to PAPPL.
void setSpoolDirectory(const std::string& directory);
const std::string& spoolDirectory();
