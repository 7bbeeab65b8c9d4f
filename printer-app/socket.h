// socket:// printers (the raw AppSocket port), one connection per job. PAPPL 1.3.1 keeps a
// printer's connection open from one job to the next while more jobs wait (held ones too), so a
// queue would send several jobs down one connection, and a printer that takes one job per
// connection would run them together, or wait for the rest of a job that has ended. The app
// therefore provides the socket:// device itself: a job begins on a fresh connection and closes
// it as it ends.
#pragma once

#include <pappl/pappl.h>

// Registers the socket:// device in place of PAPPL's (its other devices stay PAPPL's). Called
// before anything opens or lists a device.
void addSocketDevice();

// Called as a job begins on a device: a connection a job has already used, or closed, is opened
// again, retrying every five seconds (the printer shown offline meanwhile) until it opens or the
// job is cancelled. Returns false when the job was cancelled first. Other devices pass as they are.
bool freshConnection(pappl_job_t* job, pappl_device_t* device);

// Called as a job ends on a device: what it wrote is sent and its socket:// connection closed, so
// that the printer knows at once the job is whole. Other devices pass as they are.
void endConnection(pappl_job_t* job, pappl_device_t* device);
