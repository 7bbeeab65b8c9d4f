// Printers that cannot be reached. PAPPL 1.3.1 keeps retrying a job's connection every 5 seconds
// and meanwhile shows the printer "stopped" with the reason "paused", as if someone had paused
// it. The app shows it "offline" instead (state idle, reason "offline"; a printer a user paused
// stays stopped), with the reason on the waiting job, until the job's connection opens.
#pragma once

#include <pappl/pappl.h>

// Checks every printer every two seconds for the server's life.
void watchPrinters(pappl_system_t* system);

// The job's printer cannot be reached, as its job waits for the connection: shown offline.
void printerUnreachable(pappl_job_t* job);

// Called as a job starts printing, its connection open: the printer is no longer offline.
void printerReached(pappl_job_t* job);
