// The names people see: each printer's DNS-SD name (what print dialogs list) and printer-info.
// PAPPL 1.3.1 gives a new printer its queue name ("korvi") as both, lets a rename in the web
// interface take a name another printer has (avahi then refuses the second registration, and that
// printer is no longer advertised), and keeps printer-info at the queue name whatever the printer
// is called. Here a new printer is called "Korvi Laser Printer" (with " 2", " 3"... when the name is
// taken), and a taken name is refused with a message (attributes.cpp makes printer-info follow it).
#include "names.h"

#include <strings.h>

#include <string>

#include "interpose.h"

// PAPPL's own, which the app's definitions below use.
extern "C" {
void _papplClientHTMLInfo(pappl_client_t* client, bool isForm, const char* dnsSdName, const char* location,
                          const char* geoLocation, const char* organization, const char* orgUnit,
                          pappl_contact_t* contact);
void _papplPrinterWebConfigFinalize(pappl_printer_t* printer, int count, cups_option_t* form);
void _papplPrinterWebConfig(pappl_client_t* client, pappl_printer_t* printer);
}

namespace {

constexpr char kDefaultName[] = "Korvi Laser Printer";

struct NameSearch {
    const char* name;
    pappl_printer_t* except;
    bool taken;
};

// True when another printer, or the system itself (its web page shares _http._tcp), has `name`.
// DNS-SD names differ only when they differ in more than case.
bool nameTaken(pappl_system_t* system, const char* name, pappl_printer_t* except)
{
    char own[256] = "";
    if (strcasecmp(papplSystemGetDNSSDName(system, own, sizeof own) ? own : "", name) == 0)
        return true;
    NameSearch search{name, except, false};
    papplSystemIteratePrinters(
        system,
        [](pappl_printer_t* printer, void* data) {
            auto* s = static_cast<NameSearch*>(data);
            char other[256] = "";
            if (printer != s->except && papplPrinterGetDNSSDName(printer, other, sizeof other) &&
                strcasecmp(other, s->name) == 0)
                s->taken = true;
        },
        &search);
    return search.taken;
}

// PAPPL's form of the printer's settings (name, location, organization, contact).
void showSettings(pappl_client_t* client, pappl_printer_t* printer, const char* status)
{
    char name[64], location[128], geo[128], organization[128], unit[128];
    pappl_contact_t contact;
    papplClientHTMLPrinterHeader(client, printer, "Configuration", 0, nullptr, nullptr);
    if (status) {
        papplClientHTMLPuts(client, "<div class=\"banner\">");
        papplClientHTMLEscape(client, papplClientGetLocString(client, status), 0);
        papplClientHTMLPuts(client, "</div>\n");
    }
    _papplClientHTMLInfo(client, true, papplPrinterGetDNSSDName(printer, name, sizeof name),
                         papplPrinterGetLocation(printer, location, sizeof location),
                         papplPrinterGetGeoLocation(printer, geo, sizeof geo),
                         papplPrinterGetOrganization(printer, organization, sizeof organization),
                         papplPrinterGetOrganizationalUnit(printer, unit, sizeof unit),
                         papplPrinterGetContact(printer, &contact));
    papplClientHTMLPrinterFooter(client);
}

}  // namespace

void nameForClients(pappl_printer_t* printer)
{
    char name[256] = "";
    papplPrinterGetDNSSDName(printer, name, sizeof name);
    std::string chosen = name;
    if (chosen.empty() || chosen == papplPrinterGetName(printer)) {
        pappl_system_t* system = papplPrinterGetSystem(printer);
        chosen = kDefaultName;
        for (int n = 2; nameTaken(system, chosen.c_str(), printer); n++)
            chosen = std::string(kDefaultName) + " " + std::to_string(n);
    }
    // Also registers the printer with DNS-SD, which PAPPL does not do for a printer it adds while
    // it runs.
    papplPrinterSetDNSSDName(printer, chosen.c_str());
}

extern "C" {

// The printer's Configuration page: PAPPL's, except that a name another printer has is refused.
void _papplPrinterWebConfig(pappl_client_t* client, pappl_printer_t* printer)
{
    static const auto real = nextDefinition("_papplPrinterWebConfig", &_papplPrinterWebConfig);
    if (papplClientGetMethod(client) != HTTP_STATE_POST) {
        real(client, printer);
        return;
    }
    if (!papplClientHTMLAuthorize(client))
        return;
    cups_option_t* form = nullptr;
    int count = papplClientGetMethod(client) == HTTP_STATE_POST ? papplClientGetForm(client, &form) : -1;
    const char* name = cupsGetOption("dns_sd_name", count, form);
    std::string status;
    if (count == 0)
        status = "Invalid form data.";
    else if (count > 0 && !papplClientIsValidForm(client, count, form))
        status = "Invalid form submission.";
    else if (count > 0 && name && *name && nameTaken(papplPrinterGetSystem(printer), name, printer))
        status = "Not saved: another printer is already called \"" + std::string(name) + "\". Choose another name.";
    else if (count > 0)
        status = (_papplPrinterWebConfigFinalize(printer, count, form), "Changes saved.");
    cupsFreeOptions(count > 0 ? count : 0, form);
    showSettings(client, printer, status.empty() ? nullptr : status.c_str());
}

}  // extern "C"
