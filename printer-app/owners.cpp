// Job owners by name and, for clients without a login over TCP, by address; private job values.
#include "owners.h"

#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "access.h"
#include "peer.h"

namespace {

thread_local ipp_t* tResponse = nullptr;  // PAPPL serves each client on a thread of its own

std::mutex gCreatorsLock;
std::map<std::pair<pappl_printer_t*, int>, std::string> gCreators;  // job -> address, of TCP clients without a login
constexpr size_t kMaxCreators = 100000;  // past that, the oldest records go

const char* const kPrivate[] = {"job-name", "job-originating-user-name", "document-name", "document-name-supplied",
                                "job-originating-host-name"};

int responseJobId()
{
    ipp_attribute_t* id = tResponse ? ippFindAttribute(tResponse, "job-id", IPP_TAG_INTEGER) : nullptr;
    return id && ippGetStatusCode(tResponse) == IPP_STATUS_OK ? ippGetInteger(id, 0) : 0;
}

bool sees(pappl_client_t* client, pappl_printer_t* printer, int jobId, bool admin)
{
    if (admin)
        return true;
    pappl_job_t* job = printer ? papplPrinterFindJob(printer, jobId) : nullptr;
    return job && ownsJob(client, job);
}

}  // namespace

bool anonymousClient(pappl_client_t* client)
{
    const char* user = papplClientGetUsername(client);
    return !onControlSocket(client) && !(user && *user);
}

void noteResponse(ipp_t* response)
{
    tResponse = response;
}

void recordCreator(pappl_client_t* client)
{
    int id = responseJobId();
    pappl_printer_t* printer = papplClientGetPrinter(client);
    if (!id || !printer || !anonymousClient(client))
        return;
    std::string address = clientAddress(client);
    std::lock_guard<std::mutex> lock(gCreatorsLock);
    if (gCreators.size() >= kMaxCreators)
        gCreators.erase(gCreators.begin());
    gCreators[{printer, id}] = address;
}

bool ownsJob(pappl_client_t* client, pappl_job_t* job)
{
    const char* owner = papplJobGetUsername(job);
    const char* user = requester(client);
    if (!owner || !user || strcmp(owner, user) != 0)
        return false;
    if (!anonymousClient(client))
        return true;
    std::string address = clientAddress(client);
    std::lock_guard<std::mutex> lock(gCreatorsLock);
    auto creator = gCreators.find({papplJobGetPrinter(job), papplJobGetID(job)});
    return creator != gCreators.end() && creator->second == address;
}

bool createdAnonymously(pappl_job_t* job, std::string* address)
{
    std::lock_guard<std::mutex> lock(gCreatorsLock);
    auto creator = gCreators.find({papplJobGetPrinter(job), papplJobGetID(job)});
    if (creator == gCreators.end())
        return false;
    if (address)
        *address = creator->second;
    return true;
}

void hidePrivateValues(pappl_client_t* client)
{
    ipp_t* response = tResponse;
    if (!response || ippGetStatusCode(response) != IPP_STATUS_OK)
        return;
    // Each job is a group of its own: its attributes, then the job-id found among them.
    std::vector<std::pair<int, std::vector<ipp_attribute_t*>>> jobs;
    bool open = false;
    for (ipp_attribute_t* attr = ippFirstAttribute(response); attr; attr = ippNextAttribute(response)) {
        if (ippGetGroupTag(attr) != IPP_TAG_JOB || !ippGetName(attr)) {
            open = false;
            continue;
        }
        if (!open)
            jobs.push_back({0, {}});
        open = true;
        if (strcmp(ippGetName(attr), "job-id") == 0)
            jobs.back().first = ippGetInteger(attr, 0);
        for (const char* name : kPrivate)
            if (strcmp(ippGetName(attr), name) == 0)
                jobs.back().second.push_back(attr);
    }
    if (jobs.empty())
        return;
    bool admin = viewerIsAdministrator(client);
    pappl_job_t* asked = papplClientGetJob(client);  // Get-Job-Attributes' job, whatever it asked to see
    for (auto& [id, values] : jobs) {
        if (!id && asked)
            id = papplJobGetID(asked);
        if (!sees(client, papplClientGetPrinter(client), id, admin))
            for (ipp_attribute_t* attr : values)
                ippDeleteAttribute(response, attr);
    }
}
