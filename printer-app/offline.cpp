// A printer goes offline when it has a job processing yet PAPPL has it stopped: PAPPL stops a
// printer by itself only when it cannot open the connection for a job (a pause asked for while a
// job prints waits for that job to end, and a paused printer starts no job). The app then takes
// the printer out of PAPPL's "stopped" (PAPPL keeps retrying the connection all the same, and
// stops it only once), unless a user paused it, and shows it offline until the job's connection
// opens: offline is a reason beside the state, and a paused printer stays paused.
#include "offline.h"

#include "paused.h"

#include <ctime>

namespace {

constexpr int kIntervalSeconds = 2;
constexpr const char* kWaiting = "The printer cannot be reached; the job prints when it is back.";

void processing(pappl_job_t* job, void* found)
{
    if (papplJobGetState(job) == IPP_JSTATE_PROCESSING)
        *static_cast<pappl_job_t**>(found) = job;
}

void checkPrinter(pappl_printer_t* printer, void*)
{
    pappl_job_t* job = nullptr;
    papplPrinterIterateActiveJobs(printer, processing, &job, 1, 0);
    if (!job || papplPrinterGetState(printer) != IPP_PSTATE_STOPPED ||
        (papplPrinterGetReasons(printer) & PAPPL_PREASON_OFFLINE))
        return;
    printerUnreachable(job);
    resumeUnlessPaused(printer);
}

bool checkPrinters(pappl_system_t* system, void*)
{
    papplSystemIteratePrinters(system, checkPrinter, nullptr);
    return true;
}

}  // namespace

void watchPrinters(pappl_system_t* system)
{
    papplSystemAddTimerCallback(system, time(nullptr) + kIntervalSeconds, kIntervalSeconds, checkPrinters, nullptr);
}

void printerUnreachable(pappl_job_t* job)
{
    pappl_printer_t* printer = papplJobGetPrinter(job);
    if (papplPrinterGetReasons(printer) & PAPPL_PREASON_OFFLINE)
        return;
    papplPrinterSetReasons(printer, PAPPL_PREASON_OFFLINE, PAPPL_PREASON_NONE);
    papplJobSetMessage(job, "%s", kWaiting);
    papplLogPrinter(printer, PAPPL_LOGLEVEL_WARN, "%s", kWaiting);
}

void printerReached(pappl_job_t* job)
{
    pappl_printer_t* printer = papplJobGetPrinter(job);
    if (!(papplPrinterGetReasons(printer) & PAPPL_PREASON_OFFLINE))
        return;
    papplPrinterSetReasons(printer, PAPPL_PREASON_NONE, PAPPL_PREASON_OFFLINE);
    papplJobSetMessage(job, "Printing.");
    papplLogPrinter(printer, PAPPL_LOGLEVEL_INFO, "The printer can be reached again.");
}
