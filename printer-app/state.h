// The server's state file: its printers, their defaults and their jobs, kept across restarts.
// Saved whole or not at all (written beside the file and renamed over it), and again as soon as a
// job starts printing, so that after a crash or a kill the file knows which job was printing, and
// as a waiting job is cancelled.
//
// Jobs that were printing when the server died end as aborted, every time, and are not printed
// again (the printer may already have printed some of their pages): PAPPL 1.3.1 would bring them
// back as "processing" with nothing running them, and the printer would refuse every new job.
#pragma once

#include <pappl/pappl.h>

// Reads the state (ending the jobs that were printing and removing their spool files), then has
// PAPPL save to the file from now on. The file need not exist.
void loadState(pappl_system_t* system, const char* stateFile);

// Saves the state now, beside PAPPL's own saves: as a job starts printing (so that after a crash
// the file knows which job was printing), as a waiting job is cancelled and as held new jobs are
// released. PAPPL saves neither of the last two: a job saved as waiting whose file is gone comes
// back "aborted", and a printer saved as holding new jobs holds them again after a restart.
void saveNow(pappl_system_t* system);
