// The limits on anonymous clients: checked at the door, counted as documents are read (libcups's
// httpRead2 is defined again here for PAPPL's reads: interpose.h says how), and a timer for holds.
#include "clientlimits.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "access.h"
#include "interpose.h"
#include "owners.h"
#include "peer.h"
#include "spool.h"

namespace {

Limits gLimits;  // set before the server starts

thread_local bool tCounting = false;  // PAPPL is reading a document on this thread
thread_local int64_t tRead = 0;
thread_local bool tTooLarge = false;

struct Pending {
    const char* user;
    std::string address;
    int byUser = 0;
    int byHost = 0;
};

void countJob(pappl_job_t* job, void* data)
{
    Pending& p = *static_cast<Pending*>(data);
    const char* owner = papplJobGetUsername(job);
    if (p.user && owner && strcmp(owner, p.user) == 0)
        ++p.byUser;
    std::string address;
    if (createdAnonymously(job, &address) && address == p.address)
        ++p.byHost;
}

Pending pendingJobs(pappl_client_t* client)
{
    Pending p;
    p.user = requester(client);
    p.address = clientAddress(client);
    papplSystemIteratePrinters(
        papplClientGetSystem(client),
        [](pappl_printer_t* printer, void* data) { papplPrinterIterateActiveJobs(printer, countJob, data, 1, 0); }, &p);
    return p;
}

bool createsJob(ipp_op_t op)
{
    return op == IPP_OP_PRINT_JOB || op == IPP_OP_PRINT_URI || op == IPP_OP_CREATE_JOB;
}

bool carriesDocument(ipp_op_t op)
{
    return op == IPP_OP_PRINT_JOB || op == IPP_OP_SEND_DOCUMENT;
}

// A held job whose hold has no end ("indefinite", or held by Hold-Job without a time).
bool heldWithoutEnd(pappl_job_t* job)
{
    if (papplJobGetState(job) != IPP_JSTATE_HELD || papplJobGetAttribute(job, "job-hold-until-time"))
        return false;
    ipp_attribute_t* until = papplJobGetAttribute(job, "job-hold-until");
    const char* keyword = until ? ippGetString(until, 0, nullptr) : nullptr;
    return !keyword || strcmp(keyword, "indefinite") == 0;
}

struct Expired {
    pappl_system_t* system;
    std::vector<std::pair<int, int>> jobs;  // printer id, job id
};

void findExpired(pappl_job_t* job, void* data)
{
    if (heldWithoutEnd(job) && !beingSpooled(job) && createdAnonymously(job, nullptr) &&
        time(nullptr) - papplJobGetTimeCreated(job) >= gLimits.holdExpirySeconds)
        static_cast<Expired*>(data)->jobs.push_back({papplPrinterGetID(papplJobGetPrinter(job)), papplJobGetID(job)});
}

// Finds them while PAPPL's iterations hold its locks, then cancels them (papplJobCancel takes
// the printer's lock for writing).
bool expireHolds(pappl_system_t* system, void*)
{
    Expired expired{system, {}};
    papplSystemIteratePrinters(
        system, [](pappl_printer_t* printer, void* data) { papplPrinterIterateActiveJobs(printer, findExpired, data, 1, 0); },
        &expired);
    for (auto [printerId, jobId] : expired.jobs) {
        pappl_printer_t* printer = papplSystemFindPrinter(system, nullptr, printerId, nullptr);
        pappl_job_t* job = printer ? papplPrinterFindJob(printer, jobId) : nullptr;
        if (!job)
            continue;
        papplJobSetMessage(job, "Held for more than %d seconds without a login: the job was removed.",
                           gLimits.holdExpirySeconds);
        papplLogJob(job, PAPPL_LOGLEVEL_INFO, "Held for more than %d seconds without a login: removed.",
                    gLimits.holdExpirySeconds);
        papplJobCancel(job);
    }
    return true;
}

}  // namespace

void setLimits(const Limits& limits)
{
    gLimits = limits;
}

bool requestWithinLimits(pappl_client_t* client)
{
    ipp_op_t op = papplClientGetOperation(client);
    http_t* http = papplClientGetHTTP(client);
    if (carriesDocument(op) && httpGetRemaining(http) > size_t(gLimits.maxDocumentBytes) &&
        !httpIsChunked(http)) {
        papplClientRespondIPP(client, IPP_STATUS_ERROR_REQUEST_ENTITY,
                              "The document is larger than this server takes (%lld MB).",
                              static_cast<long long>(gLimits.maxDocumentBytes >> 20));
        return false;
    }
    if (!createsJob(op) || !anonymousClient(client))
        return true;
    Pending p = pendingJobs(client);
    if (p.byUser < gLimits.maxJobsPerUser && p.byHost < gLimits.maxJobsPerHost)
        return true;
    papplClientRespondIPP(client, IPP_STATUS_ERROR_NOT_POSSIBLE, "Too many pending jobs from this %s (%d).",
                          p.byUser >= gLimits.maxJobsPerUser ? "user" : "host",
                          p.byUser >= gLimits.maxJobsPerUser ? gLimits.maxJobsPerUser : gLimits.maxJobsPerHost);
    return false;
}

void copyWithinLimit(pappl_client_t* client, pappl_job_t* job, void (*copy)(pappl_client_t*, pappl_job_t*))
{
    tCounting = true;
    tRead = 0;
    tTooLarge = false;
    copy(client, job);
    tCounting = false;
    tTooLarge = false;
}

bool documentTooLarge(ipp_status_t& status, const char*& message)
{
    if (!tTooLarge)
        return false;
    static thread_local char text[128];
    snprintf(text, sizeof text, "The document is larger than this server takes (%lld MB).",
             static_cast<long long>(gLimits.maxDocumentBytes >> 20));
    status = IPP_STATUS_ERROR_REQUEST_ENTITY;
    message = text;
    return true;
}

void watchHolds(pappl_system_t* system)
{
    if (gLimits.holdExpirySeconds <= 0)
        return;
    int interval = std::max(1, std::min(60, gLimits.holdExpirySeconds / 2));
    papplSystemAddTimerCallback(system, time(nullptr) + interval, interval, expireHolds, nullptr);
}

extern "C" ssize_t httpRead2(http_t* http, char* buffer, size_t length)
{
    static const auto real = nextDefinition("httpRead2", &httpRead2);
    ssize_t n = real(http, buffer, length);
    if (!tCounting || n <= 0)
        return n;
    tRead += n;
    if (tRead <= gLimits.maxDocumentBytes)
        return n;
    tCounting = false;  // what follows is PAPPL discarding the rest
    tTooLarge = true;
    return -1;
}
