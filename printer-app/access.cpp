// Who may do what from where. PAPPL 1.3.1 leaves a shared server open: with no auth-service and
// no web password its web pages ask nobody for anything, the printer page's buttons (pause,
// hold, test page) and IPP Enable-, Disable-Printer and Cancel-Current-Job are anyone's, anyone
// may cancel anyone's job, every connection on the control socket counts as an administrator's,
// and the web password opens the web interface alone (IPP administration from this machine stays
// open under it). The app's rule, like a network printer's and CUPS's default policy:
// - Printing, and looking at printers and jobs, is open to every host, over ipp and ipps, with no
//   login (an auth-service does not change that: PAPPL would then demand TLS of every printer).
// - A job is changed (cancelled, held, released, added to) by its owner (owners.h: the login, the
//   control socket's peer, or the name a client sends from the address the job came from), or by
//   an administrator; a subscription is cancelled or renewed by its owner (the name it was made
//   with) or an administrator.
// - Everything else (web pages that change or read the server, IPP administration) is the
//   administrator's:
//   - on the control socket: root and the members of the administrators' group (peer.h);
//   - over TCP, once a web password or an auth-service is set: a login, in the web interface its
//     own, over IPP HTTP Basic as "web-admin" with the web password or as a user of the
//     auth-service's admin-group; from another host only over TLS;
//   - over TCP with neither set: from this machine (loopback) only.
// The definitions here take the place of PAPPL's (interpose.h says how).
#include <pappl/pappl.h>

#include <cstring>
#include <string>

#include "access.h"
#include "interpose.h"
#include "owners.h"
#include "password.h"
#include "peer.h"

extern "C" http_status_t _papplClientIsAuthorizedForGroup(pappl_client_t* client, bool allowRemote, const char* group,
                                                          gid_t groupId);

namespace {

bool isLoopback(pappl_client_t* client)
{
    http_addr_t* address = httpGetAddress(papplClientGetHTTP(client));
    return address && httpAddrLocalhost(address);
}

bool adminLoginConfigured(pappl_system_t* system)
{
    return papplSystemGetAuthService(system) || webPasswordSet(system);
}

// The page another host sees when the server has no way to know an administrator.
void refuseRemoteAdmin(pappl_client_t* client)
{
    papplClientRespond(client, HTTP_STATUS_FORBIDDEN, nullptr, "text/html", 0, 0);
    papplClientHTMLHeader(client, "Administration", 0);
    papplClientHTMLPrintf(
        client,
        "<div class=\"content\"><div class=\"row\"><div class=\"col-12\">"
        "<h1 class=\"title\">Administration from other hosts is off</h1>"
        "<p>This server has no administrator login yet. Printing works from every host. To manage it "
        "from here, set a password on its Security page from the machine itself "
        "(http://localhost:%d/security), or start it with the options auth-service and admin-group.</p>"
        "</div></div></div>\n",
        papplSystemGetHostPort(papplClientGetSystem(client)));
    papplClientHTMLFooter(client);
}

// The user and password of an HTTP Basic Authorization header; false when it has none.
bool basicCredentials(pappl_client_t* client, std::string& user, std::string& password)
{
    const char* field = httpGetField(papplClientGetHTTP(client), HTTP_FIELD_AUTHORIZATION);
    if (!field || strncmp(field, "Basic ", 6) != 0)
        return false;
    char decoded[512];
    int size = int(sizeof decoded);
    httpDecode64_2(decoded, &size, field + 6);
    std::string text(decoded, size_t(size > 0 ? size : 0));
    size_t colon = text.find(':');
    if (colon == std::string::npos)
        return false;
    user = text.substr(0, colon);
    password = text.substr(colon + 1);
    return true;
}

// IPP operations that PAPPL checks as printing but that change a printer or someone's job.
bool isAdminOperation(ipp_op_t op)
{
    return op == IPP_OP_ENABLE_PRINTER || op == IPP_OP_DISABLE_PRINTER || op == IPP_OP_CANCEL_CURRENT_JOB;
}

bool changesJob(ipp_op_t op)
{
    return op == IPP_OP_CANCEL_JOB || op == IPP_OP_CLOSE_JOB || op == IPP_OP_HOLD_JOB ||
           op == IPP_OP_RELEASE_JOB || op == IPP_OP_SEND_DOCUMENT;
}

bool respondUnlessAuthorized(pappl_client_t* client, http_status_t code)
{
    if (code == HTTP_STATUS_CONTINUE)
        return true;
    papplClientRespond(client, code, nullptr, nullptr, 0, 0);
    return false;
}

// The request's user becomes `user` (a login's), whatever requesting-user-name it sent, every copy.
void requestFrom(pappl_client_t* client, const char* user)
{
    ipp_t* request = papplClientGetRequest(client);
    while (ipp_attribute_t* sent = ippFindAttribute(request, "requesting-user-name", IPP_TAG_ZERO))
        ippDeleteAttribute(request, sent);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, user);
}

bool needsTls(pappl_client_t* client)
{
    return !isLoopback(client) && !papplClientIsEncrypted(client) &&
           !(papplSystemGetOptions(papplClientGetSystem(client)) & PAPPL_SOPTIONS_NO_TLS);
}

}  // namespace

const char* requester(pappl_client_t* client)
{
    if (const char* user = papplClientGetUsername(client); user && *user)
        return user;
    ipp_attribute_t* name = ippFindAttribute(papplClientGetRequest(client), "requesting-user-name", IPP_TAG_NAME);
    return name ? ippGetString(name, 0, nullptr) : nullptr;
}

std::string clientAddress(pappl_client_t* client)
{
    char text[256] = "";
    if (http_addr_t* address = httpGetAddress(papplClientGetHTTP(client)))
        httpAddrString(address, text, sizeof text);
    return text;
}

bool viewerIsAdministrator(pappl_client_t* client)
{
    if (onControlSocket(client))
        return peerIsAdmin(client);
    pappl_system_t* system = papplClientGetSystem(client);
    if (!adminLoginConfigured(system))
        return isLoopback(client);
    char cookie[65];
    if (!papplSystemGetAuthService(system) && !needsTls(client) &&
        papplClientGetCookie(client, "auth", cookie, sizeof cookie))
        return true;  // the web interface's login (the cookie is checked as it is read: password.cpp)
    const char* field = httpGetField(papplClientGetHTTP(client), HTTP_FIELD_AUTHORIZATION);
    return field && *field && papplClientIsAuthorized(client) == HTTP_STATUS_CONTINUE;
}

bool loginAccepted(pappl_client_t* client)
{
    const char* field = httpGetField(papplClientGetHTTP(client), HTTP_FIELD_AUTHORIZATION);
    if (onControlSocket(client) || !field || !*field)
        return true;
    if (needsTls(client))
        return respondUnlessAuthorized(client, HTTP_STATUS_UPGRADE_REQUIRED);
    pappl_system_t* system = papplClientGetSystem(client);
    std::string user, password;
    bool basic = basicCredentials(client, user, password);
    if (basic && user == kWebAdminUser && webPasswordSet(system)) {
        loginFrom(client);
        if (!webPasswordMatches(client, password.c_str()))
            return respondUnlessAuthorized(client, HTTP_STATUS_UNAUTHORIZED);
        requestFrom(client, kWebAdminUser);
        return true;
    }
    if (basic && papplSystemGetAuthService(system)) {  // any user of the service
        if (!respondUnlessAuthorized(client, _papplClientIsAuthorizedForGroup(client, true, nullptr, gid_t(-1))))
            return false;
        requestFrom(client, user.c_str());
        return true;
    }
    return respondUnlessAuthorized(client, HTTP_STATUS_UNAUTHORIZED);
}

extern "C" {

// Whether the client is an administrator, for every administrative request PAPPL checks (IPP,
// and the web interface when an auth-service is set).
http_status_t papplClientIsAuthorized(pappl_client_t* client)
{
    static const auto real = nextDefinition("papplClientIsAuthorized", &papplClientIsAuthorized);
    if (!client)
        return HTTP_STATUS_BAD_REQUEST;
    if (onControlSocket(client))
        return peerIsAdmin(client) ? HTTP_STATUS_CONTINUE : HTTP_STATUS_FORBIDDEN;
    pappl_system_t* system = papplClientGetSystem(client);
    bool loopback = isLoopback(client);
    if (!adminLoginConfigured(system))
        return loopback ? HTTP_STATUS_CONTINUE : HTTP_STATUS_FORBIDDEN;
    if (needsTls(client))
        return HTTP_STATUS_UPGRADE_REQUIRED;
    std::string user, password;
    if (basicCredentials(client, user, password) && user == kWebAdminUser && webPasswordSet(system)) {
        loginFrom(client);
        return webPasswordMatches(client, password.c_str()) ? HTTP_STATUS_CONTINUE : HTTP_STATUS_UNAUTHORIZED;
    }
    if (papplSystemGetAuthService(system))
        return real(client);  // PAM, and the admin-group
    return HTTP_STATUS_UNAUTHORIZED;
}

bool papplClientHTMLAuthorize(pappl_client_t* client)
{
    static const auto real = nextDefinition("papplClientHTMLAuthorize", &papplClientHTMLAuthorize);
    if (!client)
        return false;
    if (onControlSocket(client))
        return respondUnlessAuthorized(client, peerIsAdmin(client) ? HTTP_STATUS_CONTINUE : HTTP_STATUS_FORBIDDEN);
    if (!isLoopback(client)) {
        pappl_system_t* system = papplClientGetSystem(client);
        if (!adminLoginConfigured(system)) {
            refuseRemoteAdmin(client);
            return false;
        }
        // A password or login crosses the network only encrypted: PAPPL sends a page to https.
        if (!papplClientIsEncrypted(client) && !(papplSystemGetOptions(system) & PAPPL_SOPTIONS_NO_TLS))
            return respondUnlessAuthorized(client, HTTP_STATUS_UPGRADE_REQUIRED);
    }
    loginFrom(client);
    return real(client);
}

// The printer page's buttons change the printer: they are the administrator's.
void _papplPrinterWebHome(pappl_client_t* client, pappl_printer_t* printer)
{
    static const auto real = nextDefinition("_papplPrinterWebHome", &_papplPrinterWebHome);
    if (papplClientGetMethod(client) == HTTP_STATE_POST && !papplClientHTMLAuthorize(client))
        return;
    showWithholding(client, printer, real);  // its job list: names and owners are private
}

bool _papplPrinterIsAuthorized(pappl_client_t* client)
{
    static const auto real = nextDefinition("_papplPrinterIsAuthorized", &_papplPrinterIsAuthorized);
    char group[256] = "";
    if (pappl_printer_t* printer = papplClientGetPrinter(client);
        printer && papplPrinterGetPrintGroup(printer, group, sizeof group) && *group && !real(client))
        return false;  // a print group: PAPPL's logins for printing
    ipp_op_t op = papplClientGetOperation(client);
    pappl_job_t* job = papplClientGetJob(client);
    bool admin = isAdminOperation(op);
    if (!admin && job && changesJob(op))
        admin = !ownsJob(client, job);
    if (!admin && (op == IPP_OP_CANCEL_SUBSCRIPTION || op == IPP_OP_RENEW_SUBSCRIPTION))
        admin = changesOthersSubscription(client);
    return admin ? respondUnlessAuthorized(client, papplClientIsAuthorized(client)) : true;
}

}  // extern "C"
