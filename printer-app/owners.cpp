// Job owners by name and, for clients without a login over TCP, by address; private job values.
#include "owners.h"

#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "access.h"
#include "answergroups.h"
#include "interpose.h"
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

namespace {

const char* const kSubscriptionPrivate[] = {"notify-subscriber-user-name", "notify-user-data", "notify-events",
                                            "notify-recipient-uri", "notify-pull-method"};

// One group of an answer (a job, an event, a subscription): its id and its private values.
struct Group {
    int id = 0;
    std::vector<ipp_attribute_t*> values;
};

template <size_t N>
std::vector<Group> groupsOf(ipp_t* response, ipp_tag_t tag, const char* idName, const char* const (&names)[N])
{
    std::vector<Group> groups;
    for (const auto& attrs : answerGroups(response, tag)) {
        Group& g = groups.emplace_back();
        for (ipp_attribute_t* attr : attrs) {
            if (strcmp(ippGetName(attr), idName) == 0)
                g.id = ippGetInteger(attr, 0);
            for (const char* name : names)
                if (strcmp(ippGetName(attr), name) == 0)
                    g.values.push_back(attr);
        }
    }
    return groups;
}

bool ownsSubscription(pappl_client_t* client, int id)
{
    pappl_subscription_t* sub = papplSystemFindSubscription(papplClientGetSystem(client), id);
    const char* owner = sub ? papplSubscriptionGetUsername(sub) : nullptr;
    const char* user = requester(client);
    return owner && user && strcmp(owner, user) == 0;
}

}  // namespace

bool changesOthersSubscription(pappl_client_t* client)
{
    ipp_attribute_t* id = ippFindAttribute(papplClientGetRequest(client), "notify-subscription-id", IPP_TAG_INTEGER);
    if (!id || !papplSystemFindSubscription(papplClientGetSystem(client), ippGetInteger(id, 0)))
        return false;  // PAPPL answers that
    return !ownsSubscription(client, ippGetInteger(id, 0));
}

void hidePrivateValues(pappl_client_t* client)
{
    ipp_t* response = tResponse;
    if (!response || ippGetStatusCode(response) != IPP_STATUS_OK)
        return;
    ipp_op_t op = papplClientGetOperation(client);
    bool admin = viewerIsAdministrator(client);
    if (op == IPP_OP_GET_SUBSCRIPTIONS || op == IPP_OP_GET_SUBSCRIPTION_ATTRIBUTES) {
        for (Group& g : groupsOf(response, IPP_TAG_SUBSCRIPTION, "notify-subscription-id", kSubscriptionPrivate))
            if (!admin && !ownsSubscription(client, g.id))
                for (ipp_attribute_t* attr : g.values)
                    ippDeleteAttribute(response, attr);
        return;
    }
    // A job's values in its own group (Get-Jobs, Get-Job-Attributes) or in an event about it.
    bool events = op == IPP_OP_GET_NOTIFICATIONS;
    pappl_job_t* asked = events ? nullptr : papplClientGetJob(client);  // Get-Job-Attributes' job
    for (Group& g : groupsOf(response, events ? IPP_TAG_EVENT_NOTIFICATION : IPP_TAG_JOB,
                             events ? "notify-job-id" : "job-id", kPrivate)) {
        if (!g.id && asked)
            g.id = papplJobGetID(asked);
        if (!sees(client, papplClientGetPrinter(client), g.id, admin))
            for (ipp_attribute_t* attr : g.values)
                ippDeleteAttribute(response, attr);
    }
}

namespace {
thread_local bool tWithholding = false;  // a web page for a client who is not an administrator
constexpr char kWithheld[] = "Withheld";
}  // namespace

void showWithholding(pappl_client_t* client, pappl_printer_t* printer,
                     void (*page)(pappl_client_t*, pappl_printer_t*))
{
    tWithholding = !viewerIsAdministrator(client);
    page(client, printer);
    tWithholding = false;
}

extern "C" {

const char* papplJobGetName(pappl_job_t* job)
{
    static const auto real = nextDefinition("papplJobGetName", &papplJobGetName);
    return tWithholding ? kWithheld : real(job);
}

const char* papplJobGetUsername(pappl_job_t* job)
{
    static const auto real = nextDefinition("papplJobGetUsername", &papplJobGetUsername);
    return tWithholding ? kWithheld : real(job);
}

}  // extern "C"
