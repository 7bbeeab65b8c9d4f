// The printer's default orientation, kept beside PAPPL's driver data. PAPPL 1.3.1's setter for
// defaults (papplPrinterSetDriverDefaults) leaves orientation-requested-default out, and its only
// other setter (papplPrinterSetDriverData) frees the printer's driver attributes, which answers
// being written at that moment still point into. So a default orientation set while the printer
// serves is kept here: jobs, the web interface (through papplPrinterGetDriverData), answers and
// the state file take it from here, and PAPPL reads it back from the state file at the next start.
#pragma once

#include <pappl/pappl.h>

// Keeps `orientation` as the printer's default.
void keepOrientationDefault(pappl_printer_t* printer, ipp_orient_t orientation);

// Puts `before` back as the printer's default, unless a change made since replaced `set`.
void undoOrientationDefault(pappl_printer_t* printer, ipp_orient_t set, ipp_orient_t before);

// The printer's default orientation as kept here, or `fallback` when none was set since the start.
ipp_orient_t orientationDefault(pappl_printer_t* printer, ipp_orient_t fallback);

// Writes the kept default orientations into the state file PAPPL has just written to `path`.
bool saveOrientationDefaults(const char* path);

// Puts the printer's defaults into the answer PAPPL made to a Get-Printer-Attributes or
// Get-Printers request: the kept orientation, and print-darkness-default (PAPPL gives none).
void showDefaults(pappl_client_t* client);
