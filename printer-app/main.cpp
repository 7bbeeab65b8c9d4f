// korvi-printer-app: an IPP Everywhere Printer Application for Korvi laser printers, on PAPPL. It
// looks like a driverless printer to phones, Macs, Windows and CUPS, and drives the real printer
// with the driver's filter.
//
// PAPPL's standard command line: korvi-printer-app server|add|devices|drivers|submit|jobs|...
// Options of the server (-o NAME=VALUE): listen-hostname (default localhost, loopback only; "*"
// for every address), server-port (default 8631), server-name, spool-directory, log-file (default
// standard error), log-level, state-file.
#include <pappl/pappl.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

#include "documents.h"
#include "driver.h"

namespace {

pappl_pr_driver_t gDrivers[] = {{kKorviDriverName, kKorviDriverDescription, "MFG:Korvi;MDL:Laser Printer;CMD:KORVI;", nullptr}};

// Without a footer, PAPPL 1.3's web pages crash the server.
const char kFooter[] = "Korvi Laser Printer Application " KORVI_VERSION;

const char* option(const char* name, int count, cups_option_t* options, const char* byDefault)
{
    const char* value = cupsGetOption(name, count, options);
    return value && *value ? value : byDefault;
}

pappl_loglevel_t logLevel(const char* name)
{
    struct {
        const char* name;
        pappl_loglevel_t level;
    } levels[] = {{"debug", PAPPL_LOGLEVEL_DEBUG}, {"info", PAPPL_LOGLEVEL_INFO}, {"warn", PAPPL_LOGLEVEL_WARN},
                  {"error", PAPPL_LOGLEVEL_ERROR}, {"fatal", PAPPL_LOGLEVEL_FATAL}};
    for (const auto& l : levels)
        if (strcmp(name, l.name) == 0)
            return l.level;
    return PAPPL_LOGLEVEL_INFO;
}

pappl_system_t* makeSystem(int count, cups_option_t* options, void*)
{
    const char* listen = option("listen-hostname", count, options, "localhost");
    int port = atoi(option("server-port", count, options, "8631"));
    const char* spool = option("spool-directory", count, options, nullptr);
    pappl_system_t* system = papplSystemCreate(
        pappl_soptions_t(PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE | PAPPL_SOPTIONS_WEB_LOG),
        "Korvi Printer Application", port, "_print,_universal", spool, option("log-file", count, options, "-"),
        logLevel(option("log-level", count, options, "info")), nullptr, false);
    if (!system)
        return nullptr;
    // Loopback unless told otherwise: a print server is shared on purpose, not by default.
    papplSystemAddListeners(system, strcmp(listen, "*") == 0 ? nullptr : listen);
    papplSystemSetHostName(system, option("server-name", count, options, strcmp(listen, "*") == 0 ? nullptr : listen));
    papplSystemSetFooterHTML(system, kFooter);
    papplSystemSetPrinterDrivers(system, int(sizeof gDrivers / sizeof gDrivers[0]), gDrivers, nullptr,
                                 korviPrinterCreated, korviDriver, nullptr);
    addDocumentFilters(system);
    if (const char* state = option("state-file", count, options, nullptr)) {
        static std::string stateFile;  // the save callback keeps the pointer for the server's life
        stateFile = state;
        papplSystemLoadState(system, stateFile.c_str());
        papplSystemSetSaveCallback(system, pappl_save_cb_t(papplSystemSaveState), stateFile.data());
    }
    return system;
}

}  // namespace

int main(int argc, char* argv[])
{
    signal(SIGPIPE, SIG_IGN);  // a stage or printer that goes away is an error, not the server's end
    return papplMainloop(argc, argv, KORVI_VERSION, kFooter, int(sizeof gDrivers / sizeof gDrivers[0]), gDrivers,
                         nullptr, korviDriver, nullptr, nullptr, makeSystem, nullptr, nullptr);
}
