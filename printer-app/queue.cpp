// The queue's gate and job starts. Jobs run in PAPPL's own job thread (_papplJobProcess), started
// here. The gate is one mutex for all printers, and the innermost lock: it guards the app's own
// records alone and is never held across a call into PAPPL (whose system, printer and job locks
// come first, in that order) or a wait. A check looks at PAPPL's jobs without it, then takes it
// to let a job through only when no other check let one through since it looked (a generation
// count per printer says so).
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
#include "spool.h"

// PAPPL's job thread (exported by libpappl 1.3.1, as its job check uses it).
extern "C" void* _papplJobProcess(pappl_job_t* job);

namespace {

constexpr int kIntervalSeconds = 2;
// A job let through leaves "pending" as soon as its thread runs: within microseconds, or at worst
// seconds on a loaded machine. Past this, it is taken for one that never started (its thread
// could not be made), so that the queue cannot stall behind it.
constexpr time_t kStartSeconds = 30;

struct Starting {
    int job = 0;  // its id (0: none yet)
    time_t since = 0;
    unsigned generation = 0;  // jobs let through so far
};

std::mutex gGate;
std::map<pappl_printer_t*, Starting> gStarting;  // per printer, the job last let through
std::map<pappl_printer_t*, std::set<int>> gWaitingStreams;  // streamed raster jobs waiting their turn
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
    if (state != IPP_JSTATE_PENDING || beingSpooled(job))  // a spooled one waits for its file
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

// What a check saw of a printer, without the gate: its jobs, its state, the job last let through
// (as the gate's record said when the check began) and whether that one has yet to start.
struct Look {
    Jobs jobs;
    bool stopped = false;
    Starting starting;
    bool startingPending = false;
};

Look lookAt(pappl_printer_t* printer)
{
    Look look;
    {
        std::lock_guard<std::mutex> lock(gGate);
        look.starting = gStarting[printer];
    }
    look.jobs = jobsOf(printer);
    look.stopped = papplPrinterGetState(printer) == IPP_PSTATE_STOPPED;
    if (look.starting.job) {
        pappl_job_t* job = papplPrinterFindJob(printer, look.starting.job);
        // A streamed job is held until PAPPL has its first bytes, then pending until it prints.
        ipp_jstate_t state = job ? papplJobGetState(job) : IPP_JSTATE_COMPLETED;
        look.startingPending = state == IPP_JSTATE_PENDING || state == IPP_JSTATE_HELD;
        if (look.startingPending && time(nullptr) - look.starting.since >= kStartSeconds) {
            papplLogJob(job, PAPPL_LOGLEVEL_WARN, "Was let through %d seconds ago and has not started.",
                        int(kStartSeconds));
            look.startingPending = false;
        }
    }
    return look;
}

// No job prints, and the job last let through has left "pending" (its thread has marked it
// processing, or it ended).
bool printerFree(const Look& look)
{
    return !look.jobs.printing && !look.startingPending;
}

// Under the gate: lets job `id` through when no other check did since `look` began.
bool letThrough(pappl_printer_t* printer, const Look& look, int id)
{
    Starting& starting = gStarting[printer];
    if (starting.generation != look.starting.generation)
        return false;
    starting = {id, time(nullptr), starting.generation + 1};
    return true;
}

// A let-through whose job never started (its thread could not be made): the queue may go on.
void forget(pappl_printer_t* printer, int id)
{
    std::lock_guard<std::mutex> lock(gGate);
    Starting& starting = gStarting[printer];
    if (starting.job == id)
        starting.job = 0;
}

// PAPPL's own job thread: opens the printer, prints, ends the job. A job that is no longer
// pending (ended or held since it was let through, which the waits of waitForJobStart leave to
// paths PAPPL takes without those calls) is left as it is: PAPPL would mark it processing again.
void* startJob(void* data)
{
    auto* job = static_cast<pappl_job_t*>(data);
    if (papplJobGetState(job) == IPP_JSTATE_PENDING)
        return _papplJobProcess(job);
    pappl_printer_t* printer = papplJobGetPrinter(job);
    forget(printer, papplJobGetID(job));
    checkJobsInTurn(printer);
    return nullptr;
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
    tChecking = true;
    releaseTimedHolds(printer);
    tChecking = false;
    Look look = lookAt(printer);
    pappl_job_t* job = look.jobs.oldest;
    // A stopped printer starts nothing; a streamed raster job is its client's to start.
    if (!job || look.jobs.streamPending || !printerFree(look) || look.stopped)
        return;
    const int id = papplJobGetID(job);
    {
        std::lock_guard<std::mutex> lock(gGate);
        if (streamWaitsAhead(printer, job) || !letThrough(printer, look, id))
            return;
    }
    pthread_t thread;
    if (pthread_create(&thread, nullptr, startJob, job) != 0) {
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Cannot start the job's thread: %s", strerror(errno));
        forget(printer, id);  // the printers' watch tries again
        return;
    }
    pthread_detach(thread);
}

void copyDocumentInTurn(pappl_client_t* client, pappl_job_t* job, void (*copy)(pappl_client_t*, pappl_job_t*),
                        void (*spool)(pappl_client_t*, pappl_job_t*))
{
    const char* format = papplJobGetFormat(job);
    if (!format || (strcmp(format, "image/pwg-raster") != 0 && strcmp(format, "image/urf") != 0)) {
        copy(client, job);
        return;
    }
    pappl_printer_t* printer = papplJobGetPrinter(job);
    if (spoolsRaster(printer)) {
        spool(client, job);
        return;
    }
    pappl_system_t* system = papplPrinterGetSystem(printer);
    const int id = papplJobGetID(job);
    {
        std::lock_guard<std::mutex> lock(gGate);
        gWaitingStreams[printer].insert(id);
    }
    // Its turn: the printer free and not paused, and no job accepted before it still waiting to
    // start (its client's upload waits until then). Once let through, no other job starts until
    // PAPPL has marked this one processing and it has ended.
    for (;;) {
        bool ended = papplJobGetState(job) >= IPP_JSTATE_CANCELED || !papplSystemIsRunning(system);
        bool spooled = !ended && spoolsRaster(printer);  // paused or holding since it began to wait
        Look look = lookAt(printer);
        bool free = printerFree(look) && !look.stopped && (!look.jobs.oldest || papplJobGetID(look.jobs.oldest) > id);
        bool turn = false;
        {
            std::lock_guard<std::mutex> lock(gGate);
            std::set<int>& waiting = gWaitingStreams[printer];
            turn = !ended && !spooled && free && *waiting.begin() == id && letThrough(printer, look, id);
            if (turn || ended || spooled)
                waiting.erase(id);
        }
        if (spooled) {
            spool(client, job);
            return;
        }
        if (ended) {
            papplClientRespondIPP(client, IPP_STATUS_ERROR_NOT_POSSIBLE, "The job ended before it could print.");
            return;
        }
        if (turn)
            break;
        usleep(100000);
    }
    if (spoolsRaster(printer)) {  // paused or holding since the turn came
        forget(printer, id);
        spool(client, job);
        return;
    }
    copy(client, job);  // PAPPL finds no job processing, and starts this one
}

void waitForJobStart(pappl_printer_t* printer)
{
    if (!printer)
        return;
    for (;;) {
        Starting starting;
        {
            std::lock_guard<std::mutex> lock(gGate);
            auto found = gStarting.find(printer);
            if (found == gStarting.end())
                return;
            starting = found->second;
        }
        if (!starting.job || time(nullptr) - starting.since >= kStartSeconds)
            return;
        pappl_job_t* job = papplPrinterFindJob(printer, starting.job);
        ipp_jstate_t state = job ? papplJobGetState(job) : IPP_JSTATE_COMPLETED;
        if (state != IPP_JSTATE_PENDING && state != IPP_JSTATE_HELD)
            return;
        usleep(2000);
    }
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
