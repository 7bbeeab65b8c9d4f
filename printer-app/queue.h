// The printer's queue: any number of jobs wait their turn (up to max-jobs), and one at a time
// prints, each once, in the order they were accepted.
//
// PAPPL 1.3.1 starts a job from _papplPrinterCheckJobs, which any thread may call (a job arrives,
// a job ends, a job is released, a printer resumed). It starts the first pending job in a thread
// of its own, and that thread marks the job processing only later. A second check in between sees
// no job processing and the same job still pending, and starts it again: two threads write two
// jobs' bytes to one printer connection. A raster job its client streams (PWG or Apple raster,
// never spooled) is started by that client's thread instead, after a check that no job is
// processing that is open to the same race, and refused as busy when one is.
//
// Every job start passes through here (guards.cpp routes PAPPL's calls): one start at a time, and
// no start while a job prints or while the job last let through has not yet left "pending". So a
// job is started only by the one check that let it through, and never while another prints. A
// streamed raster job waits (its client's upload with it) until the printer is free and the jobs
// accepted before it have started, then passes PAPPL's busy check holding the gate.
#pragma once

#include <pappl/pappl.h>

// The printers' queue limit: jobs waiting or printing per printer (server option max-jobs).
void setMaxJobs(int jobs);
// Applies it to a printer (new, or read from the state file).
void limitQueue(pappl_printer_t* printer);

// The job check, in place of PAPPL's: releases held jobs whose time has come, then starts the
// oldest waiting job when no job prints or is starting.
void checkJobsInTurn(pappl_printer_t* printer);

// PAPPL's reading of a job's document (`copy`), for a streamed raster job once its turn has come.
void copyDocumentInTurn(pappl_client_t* client, pappl_job_t* job, void (*copy)(pappl_client_t*, pappl_job_t*));

// PAPPL's start of a streamed raster job, called within copyDocumentInTurn: lets the job through.
void streamStarts(pappl_job_t* job);

// PAPPL answers a job refused at the queue's limit "Currently printing another job.": the reason
// it gives in place of that, when the client's printer holds max-jobs jobs; null otherwise.
const char* queueFullReason(pappl_client_t* client);

// Starts waiting jobs that no event started (after a restart, or after a job failed to start):
// checks every printer every two seconds.
void watchQueues(pappl_system_t* system);
