// Raster documents spooled rather than streamed. PAPPL 1.3.1 streams PWG and Apple raster from
// the client straight to the printer, and refuses them while the printer holds new jobs; the
// app's queue has a streamed job wait for its turn with its client. A printer that is paused or
// holds new jobs may stay so for hours: such an upload is read into a spool file like any other
// document, answered at once, and the job prints from the file when its turn comes (rasterfile.h).
#pragma once

#include <pappl/pappl.h>

// Whether a raster upload to the printer is spooled now: it is paused or holds new jobs.
bool spoolsRaster(pappl_printer_t* printer);

// Reads the job's document from its client into a spool file and submits the job, answering
// the client as PAPPL answers a spooled document. A document not received whole ends the job.
void spoolDocument(pappl_client_t* client, pappl_job_t* job);

// Whether the job's document is being spooled (the job is held, or released, with no file yet).
bool beingSpooled(pappl_job_t* job);

// PAPPL's cancel of a job (`cancel`), let through once: not for a job that has ended or one a
// cancel is under way for; for a job being spooled, its spooler is asked to stop and cancels it.
void cancelJob(pappl_job_t* job, void (*cancel)(pappl_job_t*));
