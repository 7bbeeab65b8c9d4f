// The printer's one darkness. PAPPL keeps two: printer-darkness-configured (0..100, the web
// interface's "Print Darkness") and print-darkness-default (-100..100, what `modify -o
// print-darkness=` and Set-Printer-Attributes set). Here they always say the same of the
// printer's five densities: density n is configured 25 n and default 50 (n - 2). Whichever a
// change sets wins, and the other follows it in the same change.
#pragma once

#include <pappl/pappl.h>

// The printer's densities (PrintDensity 0..4).
constexpr int kDarknessLevels = 5;

// Makes the two values of `wanted` agree: the one that differs from `now` decides (configured
// first), else they are set to the density they stand for.
void agreeDarkness(const pappl_pr_driver_data_t& now, pappl_pr_driver_data_t& wanted);

// For a printer read from a state file: its two values made to agree, at the density its jobs
// printed with until now when an earlier version left them apart.
void loadDarkness(pappl_printer_t* printer);

// The job's own print-darkness, relative to the printer's darkness; 0 when the job names none.
int jobDarkness(pappl_job_t* job);

// The attributes the driver adds to PAPPL's.
ipp_t* driverAttributes();
