// Jobs held until a time ("job-hold-until" day-time, evening, night, second-shift, third-shift,
// weekend, or "job-hold-until-time"). PAPPL 1.3.1's job check releases such a job while its time
// is still to come, and never once it has passed; the app's queue releases it when it is due.
#pragma once

#include <pappl/pappl.h>

#include <ctime>

// When a hold of that keyword ends for a job created at `created` (local time), as PAPPL reckons
// the periods, weekend being Saturday and Sunday: `created` itself when it lies within the period;
// 0 for "indefinite" or an unknown keyword (held until released).
time_t holdEnds(const char* keyword, time_t created);

// Releases the printer's held jobs whose time has come.
void releaseTimedHolds(pappl_printer_t* printer);
