// Timed holds: each period by its first hour and a test of whether an hour lies within it.
#include "holds.h"

#include <cstring>

namespace {

struct Period {
    const char* name;
    int startHour;
    bool (*within)(const struct tm&);
};

const Period kPeriods[] = {
    {"day-time", 6, [](const struct tm& d) { return d.tm_hour >= 6 && d.tm_hour < 18; }},
    {"evening", 18, [](const struct tm& d) { return d.tm_hour < 6 || d.tm_hour >= 18; }},
    {"night", 18, [](const struct tm& d) { return d.tm_hour < 6 || d.tm_hour >= 18; }},
    {"second-shift", 16, [](const struct tm& d) { return d.tm_hour >= 16; }},
    {"third-shift", 0, [](const struct tm& d) { return d.tm_hour < 8; }},
    {"weekend", 0, [](const struct tm& d) { return d.tm_wday == 0 || d.tm_wday == 6; }},
};

// The end of the job's hold, from its attributes.
time_t jobHoldEnds(pappl_job_t* job)
{
    if (ipp_attribute_t* at = papplJobGetAttribute(job, "job-hold-until-time"))
        return ippDateToTime(ippGetDate(at, 0));
    ipp_attribute_t* until = papplJobGetAttribute(job, "job-hold-until");
    const char* keyword = until ? ippGetString(until, 0, nullptr) : nullptr;
    return keyword ? holdEnds(keyword, papplJobGetTimeCreated(job)) : 0;
}

void releaseIfDue(pappl_job_t* job, void*)
{
    if (papplJobGetState(job) != IPP_JSTATE_HELD || !(papplJobGetReasons(job) & PAPPL_JREASON_JOB_HOLD_UNTIL_SPECIFIED))
        return;
    time_t ends = jobHoldEnds(job);
    if (ends > 0 && ends <= time(nullptr))
        papplJobRelease(job, nullptr);
}

}  // namespace

time_t holdEnds(const char* keyword, time_t created)
{
    struct tm t {};
    localtime_r(&created, &t);
    for (const Period& p : kPeriods) {
        if (strcmp(keyword, p.name) != 0)
            continue;
        if (p.within(t))
            return created;
        struct tm start = t;
        start.tm_min = start.tm_sec = 0;
        start.tm_hour = p.startHour;
        if (strcmp(p.name, "weekend") == 0)
            start.tm_mday += 6 - t.tm_wday;  // Saturday
        else if (t.tm_hour >= p.startHour)
            start.tm_mday += 1;
        start.tm_isdst = -1;
        return mktime(&start);
    }
    return 0;
}

void releaseTimedHolds(pappl_printer_t* printer)
{
    papplPrinterIterateActiveJobs(printer, releaseIfDue, nullptr, 1, 0);
}
