// Job settings: PPD and job options, copies and paper size, patched into the settings commands
// and sent once per job before the first page.
#pragma once

#include <cups/ppd.h>
#include <cups/raster.h>

#include <cstdint>

// Computes the job's settings from the PPD, the job options (argv[5]) and the first page's
// header: patches the settings commands and sets gMarginLeft and gMarginTop.
void parsePrinterSettings(ppd_file_t* ppd, const char* options, const cups_page_header2_t& header);

// Writes the settings block (43 bytes) and flushes it.
void sendSettingsToPrinter();
