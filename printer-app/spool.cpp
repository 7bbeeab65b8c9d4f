// Spooling a raster upload, and one cancel of a job at a time.
//
// PAPPL spools a document into the job's own descriptor, and a cancel then only marks the job;
// the app's spooler writes a file of its own, so PAPPL would cancel such a job outright while
// the spooler still reads, and a submit after that would bring it back. So the spooler owns the
// cancel of its job: a cancel that comes while it reads asks it to stop, and the spooler cancels
// the job itself once it has answered. Two cancels of one job at once would have PAPPL list it
// twice among the ended jobs: a cancel is let through only when no other of that job is under
// way, and not at all for a job that has ended. The records are the app's alone, under gLock,
// which is never held across a call into PAPPL or a wait (PAPPL's locks may be held around it).
#include "spool.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "paths.h"
#include "queue.h"

// PAPPL 1.3.1's own steps for a spooled document (exported by libpappl, as its IPP code uses them).
extern "C" {
void _papplJobSubmitFile(pappl_job_t* job, const char* filename);
void _papplJobCopyAttributesNoLock(pappl_job_t* job, pappl_client_t* client, cups_array_t* ra);
void _papplClientFlushDocumentData(pappl_client_t* client);
}

namespace {

constexpr int kSubmitWaitMilliseconds = 2000;  // for a spooler past its last look to submit

struct Spooling {
    bool stop = false;        // a cancel came: read no more, submit nothing, cancel the job
    bool submitting = false;  // past its last look at `stop`
};

std::mutex gLock;
std::map<pappl_job_t*, Spooling> gSpooling;
std::set<pappl_job_t*> gCancelling;  // jobs a cancel is under way for

bool stopAsked(pappl_job_t* job)
{
    std::lock_guard<std::mutex> lock(gLock);
    auto s = gSpooling.find(job);
    return s != gSpooling.end() && s->second.stop;
}

// Whether the job may be submitted: no cancel came, and none is under way. From here on a cancel
// waits for the submit and then cancels the job as PAPPL cancels any waiting job.
bool startSubmit(pappl_job_t* job)
{
    std::lock_guard<std::mutex> lock(gLock);
    Spooling& s = gSpooling[job];
    s.submitting = !s.stop && !gCancelling.count(job);
    return s.submitting;
}

void endSpooling(pappl_job_t* job)
{
    std::lock_guard<std::mutex> lock(gLock);
    gSpooling.erase(job);
}

bool spooling(pappl_job_t* job)
{
    std::lock_guard<std::mutex> lock(gLock);
    return gSpooling.count(job) != 0;
}

// Reads the rest of the document into `fd`: false on a read or write error (`failure` says
// which), or a document past the size limit, whose reading fails. A stop asked for ends it early.
bool readDocument(pappl_client_t* client, pappl_job_t* job, int fd, size_t& total, std::string& failure)
{
    http_t* http = papplClientGetHTTP(client);
    char buffer[65536];
    ssize_t got;
    while ((got = httpRead2(http, buffer, sizeof buffer)) > 0) {
        if (stopAsked(job))
            return true;
        for (ssize_t done = 0; done < got;) {
            ssize_t n = write(fd, buffer + done, size_t(got - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                failure = std::string("Unable to write print file: ") + strerror(errno);
                return false;
            }
            done += n;
        }
        total += size_t(got);
    }
    if (got < 0)
        failure = "Unable to read print file.";
    return got == 0;
}

int compareNames(void* a, void* b, void*)
{
    return strcmp(static_cast<const char*>(a), static_cast<const char*>(b));
}

// The answer PAPPL gives a job it took: its id, state and where it is. Given while the job is
// held (before it is submitted or cancelled): nothing else changes it then.
void answerTaken(pappl_client_t* client, pappl_job_t* job)
{
    papplClientRespondIPP(client, IPP_STATUS_OK, nullptr);
    cups_array_t* ra = cupsArrayNew(compareNames, nullptr);
    for (const char* name : {"job-id", "job-state", "job-state-message", "job-state-reasons", "job-uri"})
        cupsArrayAdd(ra, const_cast<char*>(name));
    _papplJobCopyAttributesNoLock(job, client, ra);
    cupsArrayDelete(ra);
}

// The end of a spooling that submits nothing: the client answered, the job cancelled, the rest of
// the document read and dropped (the job is not touched after its cancel).
void dropSpooled(pappl_client_t* client, pappl_job_t* job, const std::string& failure)
{
    if (failure.empty()) {
        answerTaken(client, job);
    } else {
        papplClientRespondIPP(client, IPP_STATUS_ERROR_INTERNAL, "%s", failure.c_str());
        papplJobSetMessage(job, "The document was not received whole.");
    }
    papplJobCancel(job);
    _papplClientFlushDocumentData(client);
}

}  // namespace

bool spoolsRaster(pappl_printer_t* printer)
{
    return papplPrinterGetState(printer) == IPP_PSTATE_STOPPED || papplPrinterIsHoldingNewJobs(printer);
}

bool beingSpooled(pappl_job_t* job)
{
    return spooling(job);
}

void spoolDocument(pappl_client_t* client, pappl_job_t* job)
{
    {
        std::lock_guard<std::mutex> lock(gLock);
        gSpooling[job] = Spooling{};
    }
    // A cancel that came before the record was made cancelled the job outright.
    if (papplJobGetState(job) >= IPP_JSTATE_CANCELED) {
        endSpooling(job);
        answerTaken(client, job);
        _papplClientFlushDocumentData(client);
        return;
    }
    char filename[1024];
    int fd = papplJobOpenFile(job, filename, sizeof filename, spoolDirectory().c_str(), nullptr, "w");
    std::string failure = fd < 0 ? std::string("Unable to create print file: ") + strerror(errno) : "";
    size_t total = 0;
    bool read = fd >= 0 && readDocument(client, job, fd, total, failure);
    if (fd >= 0 && close(fd) != 0 && read) {
        failure = std::string("Unable to write print file: ") + strerror(errno);
        read = false;
    }
    if (read && startSubmit(job) && papplJobGetState(job) < IPP_JSTATE_CANCELED) {
        papplLogJob(job, PAPPL_LOGLEVEL_INFO, "Received %lu bytes of document data, spooled.", (unsigned long)total);
        answerTaken(client, job);
        _papplJobSubmitFile(job, filename);
        endSpooling(job);
        return;
    }
    endSpooling(job);
    if (fd >= 0)
        unlink(filename);
    dropSpooled(client, job, read ? std::string() : failure);
}

void cancelJob(pappl_job_t* job, void (*cancel)(pappl_job_t*))
{
    bool submitting = false;
    {
        std::lock_guard<std::mutex> lock(gLock);
        if (gCancelling.count(job))
            return;  // another cancel of it is under way
        auto s = gSpooling.find(job);
        if (s != gSpooling.end() && !s->second.submitting) {
            s->second.stop = true;  // its spooler cancels it
            return;
        }
        submitting = s != gSpooling.end();
        gCancelling.insert(job);
    }
    for (int waited = 0; submitting && spooling(job) && waited < kSubmitWaitMilliseconds; waited += 2)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (papplJobGetState(job) < IPP_JSTATE_CANCELED) {
        waitForJobStart(papplJobGetPrinter(job));
        cancel(job);
    }
    std::lock_guard<std::mutex> lock(gLock);
    gCancelling.erase(job);
}
