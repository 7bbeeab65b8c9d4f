// The queue's gate and job starts. Jobs run in PAPPL's own job thread (_papplJobProcess), started
// here. The gate is one mutex for all printers: it is held while a check looks at the jobs and a
// job's thread is made, never while a job prints.
#include "queue.h"

#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <set>

#include "holds.h"

// PAPPL's job thread (exported by libpappl 1.3.1, as its job check uses it).
extern "C" void* _papplJobProcess(pappl_job_t* job);

namespace {

constexpr int kIntervalSeconds = 2;
// A job let through leaves "pending" as soon as its thread runs: within microseconds, or at worst
// seconds on a loaded machine. Past this, it is taken for one that never started (its thread
// could not be made), so that the queue cannot stall behind it.
constexpr time_t kStartSeconds = 30;

struct Starting {
    int job;      // its id
    time_t since;
};

std::mutex gGate;
std::map<pappl_printer_t*, Starting> gStarting;  // per printer, the job last let through
std::map<pappl_printer_t*, std::set<int>> gWaitingStreams;  // streamed raster jobs waiting their turn
thread_local bool tHoldingGate = false;  // a streamed job's thread, between its turn and its start
thread_local bool tChecking = false;     // within a check, which may release held jobs
int gMaxJobs = 100;

struct Jobs {
    bool printing = false;         // a job is processing
    bool streamPending = false;    // a raster job its client streams is pending
    pappl_job_t* oldest = nullptr; // the pending (spooled) job accepted first
};

// PAPPL streams PWG and Apple raster from the client; everything else is spooled first.
bool streamed(pappl_job_t* job)
{
    const char* format = papplJobGetFormat(job);
    return !papplJobGetFilename(job) && format &&
           (strcmp(format, "image/pwg-raster") == 0 || strcmp(format, "image/urf") == 0);
}

// Under the gate: a streamed raster job accepted before `job` still waits its turn.
bool streamWaitsAhead(pappl_printer_t* printer, pappl_job_t* job)
{
    auto waiting = gWaitingStreams.find(printer);
    return waiting != gWaitingStreams.end() && !waiting->second.empty() && *waiting->second.begin() < papplJobGetID(job);
}

void look(pappl_job_t* job, void* data)
{
    Jobs& j = *static_cast<Jobs*>(data);
    ipp_jstate_t state = papplJobGetState(job);
    j.printing = j.printing || state == IPP_JSTATE_PROCESSING;
    if (state != IPP_JSTATE_PENDING)
        return;
    if (streamed(job))
        j.streamPending = true;
    else if (!j.oldest || papplJobGetID(job) < papplJobGetID(j.oldest))
        j.oldest = job;
}

Jobs jobsOf(pappl_printer_t* printer)
{
    Jobs j;
    papplPrinterIterateActiveJobs(printer, look, &j, 1, 0);
    return j;
}

// Under the gate: no job prints, and the job last let through has left "pending" (its thread
// has marked it processing, or it ended).
bool printerFree(pappl_printer_t* printer, const Jobs& jobs)
{
    if (jobs.printing)
        return false;
    auto starting = gStarting.find(printer);
    if (starting == gStarting.end())
        return true;
    pappl_job_t* job = papplPrinterFindJob(printer, starting->second.job);
    if (!job || papplJobGetState(job) != IPP_JSTATE_PENDING)
        return true;
    if (time(nullptr) - starting->second.since < kStartSeconds)
        return false;
    papplLogJob(job, PAPPL_LOGLEVEL_WARN, "Was let through %d seconds ago and has not started.", int(kStartSeconds));
    return true;
}

// PAPPL's own job thread: opens the printer, prints, ends the job.
void* startJob(void* job)
{
    return _papplJobProcess(static_cast<pappl_job_t*>(job));
}

void kick(pappl_printer_t* printer, void*)
{
    checkJobsInTurn(printer);
}

bool kickAll(pappl_system_t* system, void*)
{
    papplSystemIteratePrinters(system, kick, nullptr);
    return true;
}

}  // namespace

void setMaxJobs(int jobs)
{
    gMaxJobs = jobs;
}

void limitQueue(pappl_printer_t* printer)
{
    if (papplPrinterGetMaxActiveJobs(printer) != gMaxJobs)
        papplPrinterSetMaxActiveJobs(printer, gMaxJobs);
}

void checkJobsInTurn(pappl_printer_t* printer)
{
    if (tChecking)  // a release below calls back into the check
        return;
    std::lock_guard<std::mutex> lock(gGate);
    tChecking = true;
    releaseTimedHolds(printer);
    tChecking = false;
    Jobs jobs = jobsOf(printer);
    // A stopped printer starts nothing; a streamed raster job is its client's to start.
    if (!jobs.oldest || jobs.streamPending || !printerFree(printer, jobs) ||
        papplPrinterGetState(printer) == IPP_PSTATE_STOPPED || streamWaitsAhead(printer, jobs.oldest))
        return;
    pthread_t thread;
    if (pthread_create(&thread, nullptr, startJob, jobs.oldest) != 0) {
        papplLogJob(jobs.oldest, PAPPL_LOGLEVEL_ERROR, "Cannot start the job's thread: %s", strerror(errno));
        return;  // the printers' watch tries again
    }
    pthread_detach(thread);
    gStarting[printer] = {papplJobGetID(jobs.oldest), time(nullptr)};
}

void copyDocumentInTurn(pappl_client_t* client, pappl_job_t* job, void (*copy)(pappl_client_t*, pappl_job_t*))
{
    const char* format = papplJobGetFormat(job);
    if (!format || (strcmp(format, "image/pwg-raster") != 0 && strcmp(format, "image/urf") != 0)) {
        copy(client, job);
        return;
    }
    pappl_printer_t* printer = papplJobGetPrinter(job);
    pappl_system_t* system = papplPrinterGetSystem(printer);
    const int id = papplJobGetID(job);
    {
        std::lock_guard<std::mutex> lock(gGate);
        gWaitingStreams[printer].insert(id);
    }
    // Its turn: the printer free, and no job accepted before it still waiting to start.
    for (;;) {
        gGate.lock();
        Jobs jobs = jobsOf(printer);
        bool turn = printerFree(printer, jobs) && (!jobs.oldest || papplJobGetID(jobs.oldest) > id) &&
                    *gWaitingStreams[printer].begin() == id;
        bool ended = papplJobGetState(job) >= IPP_JSTATE_CANCELED || !papplSystemIsRunning(system);
        if (turn || ended) {
            gWaitingStreams[printer].erase(id);
            if (ended) {
                gGate.unlock();
                papplClientRespondIPP(client, IPP_STATUS_ERROR_NOT_POSSIBLE, "The job ended before it could print.");
                return;
            }
            break;
        }
        gGate.unlock();
        usleep(100000);
    }
    // PAPPL finds no job processing, and starts this one (streamStarts lets go of the gate).
    tHoldingGate = true;
    copy(client, job);
    if (tHoldingGate) {  // it did not get as far as the start (refused, or its data broke off)
        tHoldingGate = false;
        gGate.unlock();
    }
}

void streamStarts(pappl_job_t* job)
{
    if (!tHoldingGate)
        return;
    gStarting[papplJobGetPrinter(job)] = {papplJobGetID(job), time(nullptr)};
    tHoldingGate = false;
    gGate.unlock();
}

const char* queueFullReason(pappl_client_t* client)
{
    pappl_printer_t* printer = papplClientGetPrinter(client);
    if (!printer || papplPrinterGetNumberOfActiveJobs(printer) < gMaxJobs)
        return nullptr;
    static thread_local char reason[160];
    snprintf(reason, sizeof reason, "The printer's queue is full (%d jobs waiting or printing); send the job again later.",
             gMaxJobs);
    return reason;
}

void watchQueues(pappl_system_t* system)
{
    papplSystemAddTimerCallback(system, time(nullptr) + kIntervalSeconds, kIntervalSeconds, kickAll, nullptr);
}
