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
std::map<int, std::string> gSubscribers;  // subscription id -> address, of TCP clients without a login
constexpr size_t kMaxCreators = 100000;  // past that, the oldest records go

const char* const kPrivate[] = {"job-name", "job-originating-user-name", "document-name", "document-name-supplied",
                                "job-originating-host-name"};
// An event about a job: its names, and its text ("Job held by '...'").
const char* const kEventPrivate[] = {"job-name", "job-originating-user-name", "notify-text"};

int responseJobId()
{
    ipp_attribute_t* id = tResponse ? ippFindAttribute(tResponse, "job-id", IPP_TAG_INTEGER) : nullptr;
    return id && ippGetStatusCode(tResponse) == IPP_STATUS_OK ? ippGetInteger(id, 0) : 0;
}

// The job's owner as PAPPL has it (not withheld, whatever page is being shown).
const char* jobOwner(pappl_job_t* job)
{
    static const auto real = nextDefinition("papplJobGetUsername", &papplJobGetUsername);
    return real(job);
}

// Keeps the address a TCP client without a login made something from, under `key`.
template <typename Key>
void rememberMaker(std::map<Key, std::string>& makers, const Key& key, const std::string& address)
{
    std::lock_guard<std::mutex> lock(gCreatorsLock);
    if (makers.size() >= kMaxCreators)
        makers.erase(makers.begin());
    makers[key] = address;
}

// True when the client made what `owner` owns: by name, and for TCP clients without a login
// also by the address remembered under `key`.
template <typename Key>
bool isMaker(pappl_client_t* client, const char* owner, const std::map<Key, std::string>& makers, const Key& key)
{
    const char* user = requester(client);
    if (!owner || !user || strcmp(owner, user) != 0)
        return false;
    if (!anonymousClient(client))
        return true;
    std::string address = clientAddress(client);
    std::lock_guard<std::mutex> lock(gCreatorsLock);
    auto maker = makers.find(key);
    return maker != makers.end() && maker->second == address;
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
    rememberMaker(gCreators, {printer, id}, clientAddress(client));
}

bool ownsJob(pappl_client_t* client, pappl_job_t* job)
{
    return isMaker(client, jobOwner(job), gCreators, std::make_pair(papplJobGetPrinter(job), papplJobGetID(job)));
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

// One group of an answer (a job, an event, a subscription): its id, its private values, and the
// printer an event names.
struct Group {
    int id = 0;
    const char* printerUri = nullptr;
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
            if (strcmp(ippGetName(attr), "notify-printer-uri") == 0)
                g.printerUri = ippGetString(attr, 0, nullptr);
            for (const char* name : names)
                if (strcmp(ippGetName(attr), name) == 0)
                    g.values.push_back(attr);
        }
    }
    return groups;
}

// The printer an event's notify-printer-uri names (job ids are each printer's own).
pappl_printer_t* eventPrinter(pappl_client_t* client, const char* uri)
{
    char scheme[32], userpass[256], host[256], resource[1024];
    int port = 0;
    if (!uri || httpSeparateURI(HTTP_URI_CODING_ALL, uri, scheme, sizeof scheme, userpass, sizeof userpass, host,
                                sizeof host, &port, resource, sizeof resource) < HTTP_URI_STATUS_OK)
        return nullptr;
    return papplSystemFindPrinter(papplClientGetSystem(client), resource, 0, nullptr);
}

// A subscription is its maker's: by name, and for TCP clients without a login also by address.
bool ownsSubscription(pappl_client_t* client, int id)
{
    pappl_subscription_t* sub = papplSystemFindSubscription(papplClientGetSystem(client), id);
    return isMaker(client, sub ? papplSubscriptionGetUsername(sub) : nullptr, gSubscribers, id);
}

int requestedSubscription(pappl_client_t* client)
{
    ipp_attribute_t* id = ippFindAttribute(papplClientGetRequest(client), "notify-subscription-id", IPP_TAG_INTEGER);
    return id ? ippGetInteger(id, 0) : 0;
}

}  // namespace

void recordSubscriptions(pappl_client_t* client)
{
    if (!tResponse || !anonymousClient(client))
        return;
    std::string address = clientAddress(client);
    for (const auto& attrs : answerGroups(tResponse, IPP_TAG_SUBSCRIPTION))
        for (ipp_attribute_t* attr : attrs)
            if (strcmp(ippGetName(attr), "notify-subscription-id") == 0)
                rememberMaker(gSubscribers, ippGetInteger(attr, 0), address);
}

bool changesOthersSubscription(pappl_client_t* client)
{
    int id = requestedSubscription(client);
    if (!id || !papplSystemFindSubscription(papplClientGetSystem(client), id))
        return false;  // PAPPL answers that
    return !ownsSubscription(client, id);
}

// Also in an error: PAPPL keeps the events it had copied when a later subscription id is unknown.
void hidePrivateValues(pappl_client_t* client)
{
    ipp_t* response = tResponse;
    if (!response)
        return;
    ipp_op_t op = papplClientGetOperation(client);
    bool admin = viewerIsAdministrator(client);
    if (op == IPP_OP_GET_SUBSCRIPTIONS || op == IPP_OP_GET_SUBSCRIPTION_ATTRIBUTES) {
        for (Group& g : groupsOf(response, IPP_TAG_SUBSCRIPTION, "notify-subscription-id", kSubscriptionPrivate)) {
            if (!g.id)
                g.id = requestedSubscription(client);  // Get-Subscription-Attributes that did not ask for it
            if (!admin && !ownsSubscription(client, g.id))
                for (ipp_attribute_t* attr : g.values)
                    ippDeleteAttribute(response, attr);
        }
        return;
    }
    if (op == IPP_OP_GET_NOTIFICATIONS) {
        for (Group& g : groupsOf(response, IPP_TAG_EVENT_NOTIFICATION, "notify-job-id", kEventPrivate))
            if (g.id && !sees(client, eventPrinter(client, g.printerUri), g.id, admin))
                for (ipp_attribute_t* attr : g.values)
                    ippDeleteAttribute(response, attr);
        return;
    }
    pappl_job_t* asked = papplClientGetJob(client);  // Get-Job-Attributes' job, whatever it asked to see
    for (Group& g : groupsOf(response, IPP_TAG_JOB, "job-id", kPrivate)) {
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
