// Who may do what from where. PAPPL 1.3.1 leaves a shared server open: with no auth-service and
// no web password its web pages ask nobody for anything, the printer page's buttons (pause,
// hold, test page) and IPP Enable-, Disable-Printer and Cancel-Current-Job are anyone's, and
// anyone may cancel anyone's job. The app's rule, like a network printer's and CUPS's default
// policy:
// - Printing, and looking at printers and jobs, is open to every host, over ipp and ipps, with no
//   login (an auth-service does not change that: PAPPL would then demand TLS of every printer).
// - A job is changed (cancelled, held, released, added to) by its owner, the name its client
//   sends, or by an administrator.
// - Everything else (web pages that change or read the server, IPP administration) is the
//   administrator's: from this machine as before; from another host only over TLS, with a login
//   of the auth-service's admin-group or the web password set on the Security page, and never
//   when neither is configured.
// The definitions here take the place of PAPPL's (interpose.h says how).
#include <pappl/pappl.h>

#include <sys/socket.h>

#include <cstring>

#include "interpose.h"

namespace {

bool isLocal(pappl_client_t* client)
{
    http_addr_t* address = httpGetAddress(papplClientGetHTTP(client));
    return address && (httpAddrFamily(address) == AF_LOCAL || httpAddrLocalhost(address));
}

bool adminLoginConfigured(pappl_system_t* system)
{
    char hash[100] = "";
    return papplSystemGetAuthService(system) || (papplSystemGetPassword(system, hash, sizeof hash) && *hash);
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

// The name of who sends a request: the login, or else the name the client gives.
const char* requester(pappl_client_t* client)
{
    if (const char* user = papplClientGetUsername(client); user && *user)
        return user;
    ipp_attribute_t* name = ippFindAttribute(papplClientGetRequest(client), "requesting-user-name", IPP_TAG_NAME);
    return name ? ippGetString(name, 0, nullptr) : nullptr;
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

}  // namespace

extern "C" {

bool papplClientHTMLAuthorize(pappl_client_t* client)
{
    static const auto real = nextDefinition("papplClientHTMLAuthorize", &papplClientHTMLAuthorize);
    if (client && !isLocal(client)) {
        pappl_system_t* system = papplClientGetSystem(client);
        if (!adminLoginConfigured(system)) {
            refuseRemoteAdmin(client);
            return false;
        }
        // A password or login crosses the network only encrypted: PAPPL sends a page to https.
        if (!papplClientIsEncrypted(client) && !(papplSystemGetOptions(system) & PAPPL_SOPTIONS_NO_TLS))
            return respondUnlessAuthorized(client, HTTP_STATUS_UPGRADE_REQUIRED);
    }
    return real(client);
}

// The printer page's buttons change the printer: they are the administrator's.
void _papplPrinterWebHome(pappl_client_t* client, pappl_printer_t* printer)
{
    static const auto real = nextDefinition("_papplPrinterWebHome", &_papplPrinterWebHome);
    if (papplClientGetMethod(client) == HTTP_STATE_POST && !papplClientHTMLAuthorize(client))
        return;
    real(client, printer);
}

bool _papplPrinterIsAuthorized(pappl_client_t* client)
{
    static const auto real = nextDefinition("_papplPrinterIsAuthorized", &_papplPrinterIsAuthorized);
    char group[256] = "";
    if (pappl_printer_t* printer = papplClientGetPrinter(client);
        printer && papplPrinterGetPrintGroup(printer, group, sizeof group) && *group)
        return real(client);  // a print group: PAPPL's logins for printing
    ipp_op_t op = papplClientGetOperation(client);
    pappl_job_t* job = papplClientGetJob(client);
    bool admin = isAdminOperation(op);
    if (!admin && job && changesJob(op)) {
        const char* owner = papplJobGetUsername(job);
        const char* user = requester(client);
        admin = !owner || !user || strcmp(owner, user) != 0;
    }
    return admin ? respondUnlessAuthorized(client, papplClientIsAuthorized(client)) : true;
}

}  // extern "C"
