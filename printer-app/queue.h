// The printer's queue: any number of jobs wait their turn (up to max-jobs), and one at a time
// prints, each once, whole, in the order they were accepted.
//
// PAPPL 1.3.1 cannot be left to do it. Its job check (_papplPrinterCheckJobs), which any thread
// may call (a job arrives, a job ends, a job is released, a printer resumed), starts the newest
// pending job, not the oldest, in a thread of its own, and that thread marks the job processing
// only later: a second check in between sees no job processing and the same job still pending,
// and starts it again, and two threads write two jobs' bytes to one printer connection. A raster
// job its client streams (PWG or Apple raster, never spooled) is started by that client's thread
// after a check for a processing job that is open to the same race, and is refused as busy
// whenever a job prints. Its check also releases timed holds while their time is still to come.
//
// So the app starts every job itself (guards.cpp routes PAPPL's calls here), letting one job of a
// printer through at a time:
// - a check looks at the printer's jobs (under PAPPL's locks, not the app's), and lets the oldest
//   waiting job through only when no job of the printer is processing and the job last let through
//   has started and ended (it is no longer pending, or held as a streamed job is until its first
//   bytes come);
// - the job let through is recorded under the gate, and only when no other check let one through
//   since this one looked; the job's thread is made after the gate is let go.
// Between letting a job through and its thread marking it processing, every other check finds the
// recorded job yet to start and starts nothing; from then on it finds a job processing. So no job
// starts twice, and none starts while another prints. A streamed raster job waits for its turn
// (its client's upload waits with it; to a printer paused or holding new jobs it is spooled), is
// let through the same way, and PAPPL then finds the printer free. No lock of the app's is held while PAPPL is called or while anyone waits.
#pragma once

#include <pappl/pappl.h>

// The printers' queue limit: jobs waiting or printing per printer (server option max-jobs).
void setMaxJobs(int jobs);
// Applies it to a printer (new, or read from the state file).
void limitQueue(pappl_printer_t* printer);

// The job check, in place of PAPPL's: releases held jobs whose time has come, then starts the
// oldest waiting job when no job prints or is starting.
void checkJobsInTurn(pappl_printer_t* printer);

// PAPPL's reading of a job's document (`copy`), for a streamed raster job once its turn has come;
// `spool` instead when the printer is paused or holds new jobs (spool.h), also while it waits.
void copyDocumentInTurn(pappl_client_t* client, pappl_job_t* job, void (*copy)(pappl_client_t*, pappl_job_t*),
                        void (*spool)(pappl_client_t*, pappl_job_t*));

// Waits until the job last let through on the printer has left "pending" (PAPPL has marked it
// processing, or it ended), at most as long as a start may take. PAPPL marks a job processing
// without looking at its state: a cancel or hold that came between the let-through and that
// mark would be undone, and a cancelled job printed. Called before PAPPL cancels or holds jobs.
void waitForJobStart(pappl_printer_t* printer);

// PAPPL answers a job refused at the queue's limit "Currently printing another job.": the reason
// it gives in place of that, when the client's printer holds max-jobs jobs; null otherwise.
const char* queueFullReason(pappl_client_t* client);

// Starts waiting jobs that no event started (after a restart, after a job's thread could not be
// made, or when a timed hold ends): checks every printer every two seconds.
void watchQueues(pappl_system_t* system);
