// Walls around faults of PAPPL 1.3.1 that no public call avoids. The definitions here take the
// place of the library functions of the same names for libpappl's calls (the program's own
// symbols come first when the dynamic linker binds them); everything else passes through.
//
// 1. papplSystemSetHostName, which the app needs to answer to `server-hostname`, also writes
//    /etc/hostname, calls sethostname() and asks avahi to rename the host. A print server never
//    renames the machine it runs on: those three are refused, and the name stays PAPPL's alone.
// 2. PAPPL claims a Mopria certification (mopria-certified) the app does not have: the attribute
//    is not made (dnssd.cpp leaves it out of the TXT records, and says what else it mends there).
// 3. Starting jobs can start one job twice (queue.h says how): PAPPL's two ways of starting a job
//    (its job check, and its reading of a streamed raster job) pass through the app's queue first,
//    and a cancel or hold waits until a job let through has started (it would be undone); a
//    raster upload to a printer that is paused or holds new jobs is spooled (spool.h), whose
//    spooler cancels its job; and a job is cancelled once (PAPPL would list it ended twice);
//    and a job refused because the queue is full is told so, not that another job is printing
//    (nor a document past max-document-size that PAPPL could not read it; clientlimits.h).
// 4. print-darkness-supported is the number of darkness levels, but PAPPL gives twice the number
//    the driver has: clients are told the printer's five.
// 5. Setting a printer's defaults (web interface, `modify`, Set-Printer-Attributes) drops the
//    default orientation: it is kept beside PAPPL's (defaults.h), and every reader of the
//    defaults gets it; the two darkness values are made to agree in the same change (darkness.h).
// 6. Whenever avahi-daemon connects (also as the server starts) PAPPL sets the host name back to
//    avahi's, and the name given with server-hostname is lost: a name that was set is kept.
// 7. Each IPP answer PAPPL starts is noted, so that owners.cpp can keep other
//    users' job values out of it.
// 8. A pause lives only in the printer's state, beside PAPPL's own stops, and is lost at a
//    restart: users' pauses and resumes are noted (paused.h).
// 9. PAPPL saves no state when a waiting job is cancelled or held new jobs are released: the
//    state is saved then (state.h).
// 10. The server returns, and its system is deleted, while client threads still use it: the
//    threads are counted, and ended and waited for before the system is deleted (clients.h).
#include <avahi-client/client.h>
#include <avahi-common/error.h>
#include <cups/file.h>
#include <pappl/pappl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "darkness.h"
#include "defaults.h"
#include "interpose.h"
#include "clientlimits.h"
#include "clients.h"
#include "owners.h"
#include "paused.h"
#include "queue.h"
#include "spool.h"
#include "state.h"

extern "C" {

int sethostname(const char*, size_t) noexcept
{
    errno = EPERM;
    return -1;
}

int avahi_client_set_host_name(AvahiClient*, const char*)
{
    return AVAHI_ERR_NOT_PERMITTED;
}

cups_file_t* cupsFileOpen(const char* filename, const char* mode)
{
    if (filename && mode && strcmp(filename, "/etc/hostname") == 0 && mode[0] != 'r') {
        errno = EPERM;
        return nullptr;
    }
    static const auto real = nextDefinition("cupsFileOpen", &cupsFileOpen);
    return real(filename, mode);
}

ipp_attribute_t* ippAddString(ipp_t* ipp, ipp_tag_t group, ipp_tag_t valueTag, const char* name,
                              const char* language, const char* value)
{
    static const auto real = nextDefinition("ippAddString", &ippAddString);
    if (name && strcmp(name, "mopria-certified") == 0)
        return nullptr;
    return real(ipp, group, valueTag, name, language, value);
}

ipp_attribute_t* ippAddInteger(ipp_t* ipp, ipp_tag_t group, ipp_tag_t valueTag, const char* name, int value)
{
    static const auto real = nextDefinition("ippAddInteger", &ippAddInteger);
    if (name && strcmp(name, "print-darkness-supported") == 0)
        value = kDarknessLevels;
    return real(ipp, group, valueTag, name, value);
}

bool papplPrinterSetDriverDefaults(pappl_printer_t* printer, pappl_pr_driver_data_t* data, int numVendor,
                                   cups_option_t* vendor)
{
    static const auto real = nextDefinition("papplPrinterSetDriverDefaults", &papplPrinterSetDriverDefaults);
    if (!printer || !data)
        return real(printer, data, numVendor, vendor);
    pappl_pr_driver_data_t now, wanted = *data;
    papplPrinterGetDriverData(printer, &now);
    agreeDarkness(now, wanted);
    // Kept before PAPPL notes the change, so that the state it then saves has it.
    keepOrientationDefault(printer, wanted.orient_default);
    if (real(printer, &wanted, numVendor, vendor))
        return true;
    undoOrientationDefault(printer, wanted.orient_default, now.orient_default);
    return false;
}

pappl_pr_driver_data_t* papplPrinterGetDriverData(pappl_printer_t* printer, pappl_pr_driver_data_t* data)
{
    static const auto real = nextDefinition("papplPrinterGetDriverData", &papplPrinterGetDriverData);
    pappl_pr_driver_data_t* got = real(printer, data);
    if (got)
        got->orient_default = orientationDefault(printer, got->orient_default);
    return got;
}

ipp_t* papplClientRespondIPP(pappl_client_t* client, ipp_status_t status, const char* message, ...)
{
    static const auto real = nextDefinition("papplClientRespondIPP", &papplClientRespondIPP);
    char text[1024] = "";
    if (message) {
        va_list args;
        va_start(args, message);
        vsnprintf(text, sizeof text, message, args);
        va_end(args);
    }
    const char* full = status == IPP_STATUS_ERROR_BUSY ? queueFullReason(client) : nullptr;
    if (documentTooLarge(status, full))
        message = full;
    ipp_t* response = message ? real(client, status, "%s", full ? full : text) : real(client, status, nullptr);
    noteResponse(response);
    return response;
}

void _papplSystemSetHostNameNoLock(pappl_system_t* system, const char* value)
{
    static const auto real = nextDefinition("_papplSystemSetHostNameNoLock", &_papplSystemSetHostNameNoLock);
    static std::string set;  // under PAPPL's system lock, as every call is
    if (value)
        set = value;
    else if (!set.empty())
        value = set.c_str();
    real(system, value);
}

void papplPrinterPause(pappl_printer_t* printer)
{
    static const auto real = nextDefinition("papplPrinterPause", &papplPrinterPause);
    notePause(printer, true);
    real(printer);
}

void papplPrinterResume(pappl_printer_t* printer)
{
    static const auto real = nextDefinition("papplPrinterResume", &papplPrinterResume);
    if (!resumingItself())
        notePause(printer, false);
    real(printer);
}

void papplJobCancel(pappl_job_t* job)
{
    static const auto real = nextDefinition("papplJobCancel", &papplJobCancel);
    if (!job)
        return;
    cancelJob(job, real);
    if (papplJobGetState(job) == IPP_JSTATE_CANCELED)
        saveNow(papplPrinterGetSystem(papplJobGetPrinter(job)));  // one still printing is saved as it ends
}

// PAPPL's own cancels every active job in place, also one being spooled or let through to
// start, and one it may have listed as ended already: each is cancelled as one cancel is.
void papplPrinterCancelAllJobs(pappl_printer_t* printer)
{
    std::vector<int> ids;
    papplPrinterIterateActiveJobs(
        printer, [](pappl_job_t* job, void* data) { static_cast<std::vector<int>*>(data)->push_back(papplJobGetID(job)); },
        &ids, 1, 0);
    for (int id : ids)
        if (pappl_job_t* job = papplPrinterFindJob(printer, id))
            papplJobCancel(job);
}

bool papplPrinterReleaseHeldNewJobs(pappl_printer_t* printer, const char* username)
{
    static const auto real = nextDefinition("papplPrinterReleaseHeldNewJobs", &papplPrinterReleaseHeldNewJobs);
    bool released = real(printer, username);
    if (released)
        saveNow(papplPrinterGetSystem(printer));
    return released;
}

bool papplJobHold(pappl_job_t* job, const char* username, const char* until, time_t untilTime)
{
    static const auto real = nextDefinition("papplJobHold", &papplJobHold);
    if (job)
        waitForJobStart(papplJobGetPrinter(job));
    return real(job, username, until, untilTime);
}

void _papplPrinterCheckJobs(pappl_printer_t* printer)
{
    checkJobsInTurn(printer);
}

void _papplJobCopyDocumentData(pappl_client_t* client, pappl_job_t* job)
{
    static const auto real = nextDefinition("_papplJobCopyDocumentData", &_papplJobCopyDocumentData);
    copyDocumentInTurn(
        client, job, [](pappl_client_t* c, pappl_job_t* j) { copyWithinLimit(c, j, real); },
        [](pappl_client_t* c, pappl_job_t* j) { copyWithinLimit(c, j, spoolDocument); });
}

pappl_client_t* _papplClientCreate(pappl_system_t* system, int sock)
{
    static const auto real = nextDefinition("_papplClientCreate", &_papplClientCreate);
    pappl_client_t* client = real(system, sock);
    if (client)
        clientAccepted(client);
    return client;
}

void* _papplClientRun(pappl_client_t* client)
{
    static const auto real = nextDefinition("_papplClientRun", &_papplClientRun);
    runClient(client, real);
    return nullptr;
}

void _papplClientDelete(pappl_client_t* client)
{
    static const auto real = nextDefinition("_papplClientDelete", &_papplClientDelete);
    clientClosing(client);
    real(client);
}

void papplSystemDelete(pappl_system_t* system)
{
    static const auto real = nextDefinition("papplSystemDelete", &papplSystemDelete);
    if (!system)
        return;
    if (!waitForClients(10)) {
        // Freeing it would pull the system from under those threads; the process is ending.
        papplLog(system, PAPPL_LOGLEVEL_WARN, "Client connections still open at shutdown: the system is left as it is.");
        return;
    }
    saveNow(system);  // what clients changed after PAPPL's last save, while they were waited for
    real(system);
}

}  // extern "C"
