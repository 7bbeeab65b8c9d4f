// The door every request comes through, before PAPPL acts on it or stores anything:
// - the Host header must name this server (its host names, localhost, a literal address): PAPPL
//   1.3.1 takes any name that starts with a digit or ends in ".local", which lets a web page whose
//   name an attacker rebinds to this server's address read its pages and their form tokens;
// - a browser's form must come from this server's own pages (Origin, or else Referer);
// - no name or text value (IPP attributes, web forms) may hold a control character: PAPPL writes
//   them into its state file unescaped, one line per printer or job, and a newline there would add
//   lines of the sender's choosing (a printer with a file device, a job naming any file);
// - on the control socket a job's owner is the peer's own user, whatever requesting-user-name says;
//   a login a client sends with a job's request makes the job that user's (owners.h);
// - what the answers show of other users' jobs is kept private (owners.h);
// - clients without a login stay within the limits (clientlimits.h).
// The definitions here take the place of PAPPL's (interpose.h says how).
#include <pappl/pappl.h>
#include <unistd.h>

#include <cstring>
#include <list>
#include <mutex>
#include <string>
#include <vector>

#include "access.h"
#include "door.h"
#include "filedevice.h"
#include "interpose.h"
#include "clientlimits.h"
#include "defaults.h"
#include "owners.h"
#include "peer.h"
#include "requestcheck.h"

extern "C" {
bool _papplClientProcessIPP(pappl_client_t* client);
void _papplPrinterProcessIPP(pappl_client_t* client);
void _papplJobProcessIPP(pappl_client_t* client);
void _papplSystemProcessIPP(pappl_client_t* client);
}

namespace {

std::vector<std::string> gConfiguredNames;  // set before the server listens, read-only after

struct Resource {
    pappl_resource_cb_t callback;
    void* data;
};
std::mutex gResourcesLock;
std::list<Resource> gResources;  // every callback registered, for as long as the server runs

// This server's names: PAPPL's host name, the machine's (also as HOST.local), the configured ones.
std::vector<std::string> ownNames(pappl_system_t* system)
{
    std::vector<std::string> names = gConfiguredNames;
    char name[256] = "";
    if (papplSystemGetHostName(system, name, sizeof name) && *name)
        names.push_back(name);
    if (gethostname(name, sizeof name) == 0 && *name) {
        name[sizeof name - 1] = '\0';
        names.push_back(name);
        names.push_back(std::string(name) + ".local");
    }
    for (size_t i = 0, n = names.size(); i < n; ++i) {
        const std::string& full = names[i];
        if (full.size() > 6 && full.compare(full.size() - 6, 6, ".local") == 0)
            names.push_back(full.substr(0, full.size() - 6));
    }
    return names;
}

// False (with a 400 answer) when the Host header names another server.
bool hostAccepted(pappl_client_t* client)
{
    if (onControlSocket(client))
        return true;
    http_t* http = papplClientGetHTTP(client);
    const char* field = httpGetField(http, HTTP_FIELD_HOST);
    if ((!field || !*field) && httpGetVersion(http) < HTTP_VERSION_1_1)
        return true;  // HTTP/1.0 without a Host: PAPPL answers it as its own
    if (ownHost(hostOfField(field), ownNames(papplClientGetSystem(client))))
        return true;
    papplLogClient(client, PAPPL_LOGLEVEL_ERROR, "Refused: the Host header '%s' is not this server's.",
                   plainText(field) ? field : "(control characters)");
    papplClientRespond(client, HTTP_STATUS_BAD_REQUEST, nullptr, nullptr, 0, 0);
    return false;
}

bool originAccepted(pappl_client_t* client)
{
    http_t* http = papplClientGetHTTP(client);
    if (papplClientGetMethod(client) != HTTP_STATE_POST ||
        sameOrigin(httpGetField(http, HTTP_FIELD_ORIGIN), httpGetField(http, HTTP_FIELD_REFERER),
                   httpGetField(http, HTTP_FIELD_HOST)))
        return true;
    papplLogClient(client, PAPPL_LOGLEVEL_ERROR, "Refused: a form sent from another site's page.");
    papplClientRespond(client, HTTP_STATUS_FORBIDDEN, nullptr, nullptr, 0, 0);
    return false;
}

bool guardedResource(pappl_client_t* client, void* data)
{
    const Resource& resource = *static_cast<Resource*>(data);
    if (!hostAccepted(client) || !originAccepted(client))
        return false;
    return resource.callback(client, resource.data);
}

// False (with a bad-request answer) when a value of the request holds a control character. On
// the control socket, the request's user becomes the peer's own.
bool requestAccepted(pappl_client_t* client)
{
    ipp_t* request = papplClientGetRequest(client);
    if (std::string bad = firstUnsafeAttribute(request); !bad.empty()) {
        papplLogClient(client, PAPPL_LOGLEVEL_ERROR, "Refused: the value of '%s' holds a control character or is too long.",
                       plainText(bad.c_str()) && bad.size() <= 255 ? bad.c_str() : "(unprintable)");
        papplClientRespondIPP(client, IPP_STATUS_ERROR_BAD_REQUEST, "A value holds a control character or is too long.");
        return false;
    }
    if (ipp_attribute_t* device = ippFindAttribute(request, "smi55357-device-uri", IPP_TAG_ZERO);
        device && !deviceUriAllowed(ippGetString(device, 0, nullptr))) {
        papplClientRespondIPP(client, IPP_STATUS_ERROR_ATTRIBUTES_OR_VALUES,
                              "file: devices are off on this server (server option file-device).");
        return false;
    }
    if (onControlSocket(client)) {
        while (ipp_attribute_t* sent = ippFindAttribute(request, "requesting-user-name", IPP_TAG_ZERO))
            ippDeleteAttribute(request, sent);  // every copy: PAPPL reads the first
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                     peerUserName(client).c_str());
    }
    return true;
}

// Operations that make or use a job, for which a login sent along counts (owners.h).
bool jobOperation(ipp_op_t op)
{
    switch (op) {
    case IPP_OP_PRINT_JOB:
    case IPP_OP_PRINT_URI:
    case IPP_OP_CREATE_JOB:
    case IPP_OP_SEND_DOCUMENT:
    case IPP_OP_CLOSE_JOB:
    case IPP_OP_CANCEL_JOB:
    case IPP_OP_HOLD_JOB:
    case IPP_OP_RELEASE_JOB:
    case IPP_OP_GET_JOBS:
    case IPP_OP_GET_JOB_ATTRIBUTES:
        return true;
    default:
        return false;
    }
}

// PAPPL's handling of a printer's or a job's request, between the door's checks and what the
// answer may show.
void processJobRequest(pappl_client_t* client, void (*process)(pappl_client_t*))
{
    ipp_op_t op = papplClientGetOperation(client);
    if (!requestAccepted(client) || (jobOperation(op) && !loginAccepted(client)) || !requestWithinLimits(client))
        return;
    noteResponse(nullptr);
    process(client);
    if (op == IPP_OP_PRINT_JOB || op == IPP_OP_PRINT_URI || op == IPP_OP_CREATE_JOB)
        recordCreator(client);
    if (op == IPP_OP_PRINT_JOB || op == IPP_OP_PRINT_URI || op == IPP_OP_CREATE_JOB ||
        op == IPP_OP_CREATE_PRINTER_SUBSCRIPTIONS || op == IPP_OP_CREATE_JOB_SUBSCRIPTIONS)
        recordSubscriptions(client);
    if (op == IPP_OP_GET_JOBS || op == IPP_OP_GET_JOB_ATTRIBUTES || op == IPP_OP_GET_NOTIFICATIONS ||
        op == IPP_OP_GET_SUBSCRIPTIONS || op == IPP_OP_GET_SUBSCRIPTION_ATTRIBUTES)
        hidePrivateValues(client);
    else if (op == IPP_OP_GET_PRINTER_ATTRIBUTES)
        showDefaults(client);
    noteResponse(nullptr);
}

}  // namespace

void allowHostName(const char* name)
{
    if (name && *name && std::string(name) != "*")
        gConfiguredNames.push_back(name);
}

extern "C" {

bool _papplClientProcessIPP(pappl_client_t* client)
{
    static const auto real = nextDefinition("_papplClientProcessIPP", &_papplClientProcessIPP);
    return hostAccepted(client) && real(client);
}

void _papplPrinterProcessIPP(pappl_client_t* client)
{
    static const auto real = nextDefinition("_papplPrinterProcessIPP", &_papplPrinterProcessIPP);
    processJobRequest(client, real);
}

void _papplJobProcessIPP(pappl_client_t* client)
{
    static const auto real = nextDefinition("_papplJobProcessIPP", &_papplJobProcessIPP);
    processJobRequest(client, real);
}

void _papplSystemProcessIPP(pappl_client_t* client)
{
    static const auto real = nextDefinition("_papplSystemProcessIPP", &_papplSystemProcessIPP);
    if (!requestAccepted(client))
        return;
    real(client);
    if (papplClientGetOperation(client) == IPP_OP_GET_PRINTERS)
        showDefaults(client);
}

// A web form whose names or values hold a control character, or that names a file: device while
// those are off, reads as no form at all (PAPPL's
// pages then answer "Invalid form data."). Uploaded files are not values: PAPPL keeps them in files.
int papplClientGetForm(pappl_client_t* client, cups_option_t** form)
{
    static const auto real = nextDefinition("papplClientGetForm", &papplClientGetForm);
    int count = real(client, form);
    for (int i = 0; i < count; ++i) {
        const cups_option_t& field = (*form)[i];
        bool device = strcmp(field.name, "device_uri") == 0;
        if (plainText(field.name) && plainText(field.value) && strlen(field.value) <= 1023 &&
            (!device || deviceUriAllowed(field.value)))
            continue;
        papplLogClient(client, PAPPL_LOGLEVEL_ERROR, "Refused: a form value holds a control character or a file: device.");
        cupsFreeOptions(count, *form);
        *form = nullptr;
        return 0;
    }
    return count;
}

// Every page of the web interface (PAPPL's and the app's) checks the Host and the form's origin first.
void papplSystemAddResourceCallback(pappl_system_t* system, const char* path, const char* format,
                                    pappl_resource_cb_t cb, void* data)
{
    static const auto real = nextDefinition("papplSystemAddResourceCallback", &papplSystemAddResourceCallback);
    Resource* resource;
    {
        std::lock_guard<std::mutex> lock(gResourcesLock);
        resource = &gResources.emplace_back(Resource{cb, data});
    }
    real(system, path, format, guardedResource, resource);
}

}  // extern "C"
