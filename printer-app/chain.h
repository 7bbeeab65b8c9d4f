// A job's chain of child processes: CUPS's converters and the driver's filter, each reading the
// one before, the last one's output streamed to the printer as it comes.
#pragma once

#include <pappl/pappl.h>
#include <sys/types.h>

#include <string>
#include <vector>

// What every stage of a job is told, as CUPS tells its filters.
struct ChainJob {
    std::string id, user, title;
    int copies = 1;
    std::string options;      // CUPS option list for the PPD ("media=A4 PrintDensity=2 ...")
    std::string contentType;  // the document's MIME type
};

struct Chain {
    std::vector<pid_t> pids;  // in chain order; all in one process group, the first's
    std::vector<std::string> names;  // their program names, for the log
    int input = -1;           // write end of the first stage's standard input, for raster jobs
    int output = -1;          // the last stage's standard output
    int errors = -1;          // every stage's standard error
    bool countPages = false;  // count pages sent into the job's completed impressions
    // The job's message when the converters ended well but no page began (a page range past the
    // document's end): the job then ends as done, with this message, whatever the filter says.
    std::string noPageMessage;
    std::string failure;      // why startChain failed, for the log
    std::string tempDir;      // the stages' TMPDIR, the chain's own: removed when it has ended
    bool tempDirUser = false; // tempDir is the stages' user's (lp's), who removes it
};

// Runs one program (`args`, the program's path first) as the stages run, reading `inputFd`, and
// collects what it writes to standard error (standard output is dropped). It is stopped after
// `seconds`. True when it ended with status 0 in time.
bool runProgram(const std::vector<std::string>& args, int inputFd, int seconds, std::string& errors);

// Seconds a chain may send the printer nothing before the job is stopped as stalled; 0 for never.
void setStallTimeout(int seconds);

// Starts the programs as a chain. The first reads `inputFd`, or a pipe left in chain.input when
// inputFd is -1. When this process runs as root the stages run as the user "lp", as CUPS runs its
// filters. Returns false (and starts nothing, saying why in chain.failure) when a pipe, the user
// or a process cannot be had. The stages get a temporary folder of their own, so that what a
// converter leaves there when it is stopped goes with the chain.
bool startChain(Chain& chain, const std::vector<std::string>& programs, const ChainJob& job, int inputFd);

// Streams the chain's output to the device until the chain ends, logging what the stages say.
// chain.input stays the caller's to close (the raster writer may still hold it).
// The bytes in front of the first page (init command, settings) are held back until that page
// begins: a job that ends before any page sends the printer nothing at all.
// A cancelled job, or one that sends nothing for the stall timeout (time the printer spends not
// taking bytes does not count), stops the whole chain (the filter closes the page it is on).
// Returns true when every stage ended well or the job was cancelled; otherwise sets the job's
// message.
bool runChain(Chain& chain, pappl_job_t* job, pappl_device_t* device);
