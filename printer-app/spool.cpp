// Spooling a raster upload. The spooler reads in the client's thread; a cancel that comes
// meanwhile (papplJobCancel, or every job of the printer) asks it to stop and waits until it has,
// so that PAPPL then cancels a job that is held and has no file, and no file is submitted for a
// job already cancelled. The records are the app's alone (under gLock, never held across a call
// into PAPPL or a wait).
#include "spool.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "paths.h"

// PAPPL 1.3.1's own steps for a spooled document (exported by libpappl, as its IPP code uses them).
extern "C" {
void _papplJobSubmitFile(pappl_job_t* job, const char* filename);
void _papplJobCopyAttributesNoLock(pappl_job_t* job, pappl_client_t* client, cups_array_t* ra);
void _papplClientFlushDocumentData(pappl_client_t* client);
}

namespace {

constexpr int kStopWaitMilliseconds = 2000;  // for a spooler to see a cancel (a read at most)

struct Spooling {
    pappl_printer_t* printer = nullptr;
    bool stop = false;        // a cancel came: read no more, submit nothing
    bool submitting = false;  // past the last look at `stop`
};

std::mutex gLock;
std::map<pappl_job_t*, Spooling> gSpooling;

bool stopAsked(pappl_job_t* job)
{
    std::lock_guard<std::mutex> lock(gLock);
    return gSpooling[job].stop;
}

// Under the lock: whether the job may be submitted (no cancel came); it then may no longer stop.
bool startSubmit(pappl_job_t* job)
{
    std::lock_guard<std::mutex> lock(gLock);
    Spooling& s = gSpooling[job];
    s.submitting = !s.stop;
    return s.submitting;
}

void endSpooling(pappl_job_t* job)
{
    std::lock_guard<std::mutex> lock(gLock);
    gSpooling.erase(job);
}

// Reads the rest of the document into `fd`; false on a read or write error (or a document past
// the size limit, whose reading fails).
bool readDocument(pappl_client_t* client, pappl_job_t* job, int fd, size_t& total)
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
            if (n < 0)
                return false;
            done += n;
        }
        total += size_t(got);
    }
    return got == 0;
}

int compareNames(void* a, void* b, void*)
{
    return strcmp(static_cast<const char*>(a), static_cast<const char*>(b));
}

// The answer PAPPL gives a job it took: the job's id, state and where it is.
void answerTaken(pappl_client_t* client, pappl_job_t* job)
{
    papplClientRespondIPP(client, IPP_STATUS_OK, nullptr);
    cups_array_t* ra = cupsArrayNew(compareNames, nullptr);
    for (const char* name : {"job-id", "job-state", "job-state-message", "job-state-reasons", "job-uri"})
        cupsArrayAdd(ra, const_cast<char*>(name));
    _papplJobCopyAttributesNoLock(job, client, ra);
    cupsArrayDelete(ra);
}

}  // namespace

bool spoolsRaster(pappl_printer_t* printer)
{
    return papplPrinterGetState(printer) == IPP_PSTATE_STOPPED || papplPrinterIsHoldingNewJobs(printer);
}

void spoolDocument(pappl_client_t* client, pappl_job_t* job)
{
    {
        std::lock_guard<std::mutex> lock(gLock);
        gSpooling[job].printer = papplJobGetPrinter(job);
    }
    char filename[1024];
    int fd = papplJobOpenFile(job, filename, sizeof filename, spoolDirectory().c_str(), nullptr, "w");
    size_t total = 0;
    bool read = fd >= 0 && readDocument(client, job, fd, total);
    if (fd >= 0 && close(fd) != 0)
        read = false;
    if (read && startSubmit(job)) {
        papplLogJob(job, PAPPL_LOGLEVEL_INFO, "Received %lu bytes of document data, spooled.", (unsigned long)total);
        _papplJobSubmitFile(job, filename);
        endSpooling(job);
        answerTaken(client, job);
        return;
    }
    bool stopped = stopAsked(job);
    endSpooling(job);
    if (fd >= 0)
        unlink(filename);
    _papplClientFlushDocumentData(client);
    if (stopped) {  // the cancel that stopped it cancels the job
        answerTaken(client, job);
        return;
    }
    papplClientRespondIPP(client, IPP_STATUS_ERROR_INTERNAL, fd < 0 ? "Unable to create print file: %s" : "Unable to read print file.",
                          strerror(errno));
    papplJobSetMessage(job, "The document was not received whole.");
    papplJobCancel(job);
}

void stopSpooling(pappl_printer_t* printer, pappl_job_t* job)
{
    auto mine = [&](const std::pair<pappl_job_t* const, Spooling>& s) { return job ? s.first == job : s.second.printer == printer; };
    {
        std::lock_guard<std::mutex> lock(gLock);
        for (auto& s : gSpooling)
            if (mine(s) && !s.second.submitting)
                s.second.stop = true;
    }
    for (int waited = 0; waited < kStopWaitMilliseconds; waited += 5) {
        bool spooling = false;
        {
            std::lock_guard<std::mutex> lock(gLock);
            for (const auto& s : gSpooling)
                spooling = spooling || mine(s);
        }
        if (!spooling)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}
