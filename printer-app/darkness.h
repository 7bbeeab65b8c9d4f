// The printer's one darkness. PAPPL keeps two: printer-darkness-configured (0..100, the web
// interface's "Print Darkness") and print-darkness-default (-100..100, what `modify -o
// print-darkness=` and Set-Printer-Attributes set). Here they always say the same of the
// printer's five densities: density n is configured 25 n and default 50 (n - 2). Whichever was set
// last wins, and the other follows it.
#pragma once

#include <pappl/pappl.h>

// The printer's densities (PrintDensity 0..4).
constexpr int kDarknessLevels = 5;

// Brings the two values into line after either has changed (or for a printer first seen, or
// `loaded` from the state file, at the density it printed with until now), and gives clients
// print-darkness-default.
void syncDarkness(pappl_printer_t* printer, bool loaded = false);

// The job's own print-darkness, relative to the printer's darkness; 0 when the job names none.
int jobDarkness(pappl_job_t* job);

// The attributes the driver adds to PAPPL's, with the printer's print-darkness-default.
ipp_t* driverAttributes(int darknessDefault);
