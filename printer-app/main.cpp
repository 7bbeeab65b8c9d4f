// korvi-printer-app: an IPP Everywhere Printer Application for Korvi laser printers, on PAPPL. It
// looks like a driverless printer to phones, Macs, Windows and CUPS, and drives the real printer
// with the driver's filter.
//
// PAPPL's standard command line: korvi-printer-app server|add|devices|drivers|submit|jobs|...
// Options of the server (-o NAME=VALUE), PAPPL's own names and meanings: listen-hostname (default
// localhost, loopback only; "*" for every address), server-hostname (the name clients are given;
// never the machine's), server-port (default 8631), server-options, auth-service, admin-group,
// private-server, spool-directory, log-file (default standard error), log-level, state-file; and
// the app's stall-timeout (seconds a job's conversion may send nothing, default 300, 0 for never)
// and max-jobs (jobs a printer holds, waiting or printing, default 100), and file-device (yes lets
// printers use file:// character devices; off by default), and the limits on clients without a
// login: max-document-size (MB), max-jobs-per-user, max-jobs-per-host and hold-expiry (clientlimits.h).
#include <pappl/pappl.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "chain.h"
#include "dnssd.h"
#include "documents.h"
#include "door.h"
#include "driver.h"
#include "filedevice.h"
#include "clientlimits.h"
#include "names.h"
#include "offline.h"
#include "peer.h"
#include "paths.h"
#include "queue.h"
#include "socket.h"
#include "state.h"
#include "tls.h"

namespace {

pappl_pr_driver_t gDrivers[] = {{kKorviDriverName, kKorviDriverDescription, "MFG:Korvi;MDL:Laser Printer;CMD:KORVI;", nullptr}};

// Without a footer, PAPPL 1.3's web pages crash the server.
const char kFooter[] = "Korvi Laser Printer Application " KORVI_VERSION;

std::string gBaseName = "korvi-printer-app";  // the program's name, as PAPPL names its socket
bool gServerMode = false;  // the "server" subcommand (PAPPL also makes a system to list drivers)

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

// A whole number from min to max, or -1 with a message naming the option.
long number(const char* name, const char* text, long min, long max)
{
    char* end = nullptr;
    errno = 0;
    long value = strtol(text, &end, 10);
    if (errno != 0 || end == text || *end || value < min || value > max) {
        fprintf(stderr, "%s: bad %s '%s' (a whole number from %ld to %ld)\n", gBaseName.c_str(), name, text, min, max);
        return -1;
    }
    return value;
}

// PAPPL's server-options keywords, on top of what the app always offers.
pappl_soptions_t serverOptions(const char* list)
{
    struct {
        const char* name;
        pappl_soptions_t add, remove;
    } words[] = {
        {"none", PAPPL_SOPTIONS_NONE, pappl_soptions_t(~0u)},
        {"dnssd-host", PAPPL_SOPTIONS_DNSSD_HOST, PAPPL_SOPTIONS_NONE},
        {"no-multi-queue", PAPPL_SOPTIONS_NONE, PAPPL_SOPTIONS_MULTI_QUEUE},
        {"raw-socket", PAPPL_SOPTIONS_RAW_SOCKET, PAPPL_SOPTIONS_NONE},
        {"usb-printer", PAPPL_SOPTIONS_USB_PRINTER, PAPPL_SOPTIONS_NONE},
        {"no-web-interface", PAPPL_SOPTIONS_NONE, PAPPL_SOPTIONS_WEB_INTERFACE},
        {"web-log", PAPPL_SOPTIONS_WEB_LOG, PAPPL_SOPTIONS_NONE},
        {"web-network", PAPPL_SOPTIONS_WEB_NETWORK, PAPPL_SOPTIONS_NONE},
        {"web-remote", PAPPL_SOPTIONS_WEB_REMOTE, PAPPL_SOPTIONS_NONE},
        {"web-security", PAPPL_SOPTIONS_WEB_SECURITY, PAPPL_SOPTIONS_NONE},
        {"no-tls", PAPPL_SOPTIONS_NO_TLS, PAPPL_SOPTIONS_NONE},
    };
    // The Security page sets the web password that lets an administrator in from other hosts.
    unsigned options = PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE | PAPPL_SOPTIONS_WEB_LOG |
                       PAPPL_SOPTIONS_WEB_SECURITY;
    std::string text = list ? list : "";
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find(',', start);
        std::string word = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        for (const auto& w : words)
            if (word == w.name)
                options = (options & ~unsigned(w.remove)) | unsigned(w.add);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return pappl_soptions_t(options);
}

bool gRuntimeFolder = false;  // SNAP_COMMON was set here to move root's socket (useRuntimeFolder)

// Root's control socket in the service's runtime folder, /run/korvi-printer-app (the unit's
// RuntimeDirectory), where it exists, rather than in /run itself, which the unit keeps read-only.
// PAPPL places root's socket in $SNAP_COMMON when that is set; server and subcommands alike
// find the folder, so they agree.
void useRuntimeFolder()
{
    std::string dir = "/run/" + gBaseName;
    struct stat info {};
    if (getuid() != 0 || getenv("SNAP_COMMON") || lstat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != 0 || (info.st_mode & (S_IWGRP | S_IWOTH)))
        return;
    setenv("SNAP_COMMON", dir.c_str(), 1);
    gRuntimeFolder = true;
}

// PAPPL's control socket for this user: where its subcommands find the server.
std::string controlSocket()
{
    if (getuid() != 0)
        return std::string(papplGetTempDir()) + "/" + gBaseName + std::to_string(getuid()) + ".sock";
    if (const char* snap = getenv("SNAP_COMMON"))
        return std::string(snap) + "/" + gBaseName + ".sock";
    return "/run/" + gBaseName + ".sock";
}

// True when a server answers on the control socket. PAPPL would take the socket over without a
// word, and the other server's subcommands would then reach this one.
bool controlSocketInUse(const std::string& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    memcpy(address.sun_path, path.c_str(), path.size() + 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    bool answered = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return answered;
}

// A folder that holds the state (the web password's hash) or the TLS key: only its owner, who
// must be this user or root, may write there (a sticky folder such as /tmp aside), and a state
// file there must be this user's own regular file. False, with a message, otherwise.
bool privateEnough(const std::string& file)
{
    std::string dir = file.substr(0, file.rfind('/') + 1);
    struct stat folder {}, state {};
    const char* problem = nullptr;
    if (lstat(dir.empty() ? "." : dir.c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode))
        problem = "is not a folder";
    else if (folder.st_uid != getuid() && folder.st_uid != 0)
        problem = "belongs to another user";
    else if ((folder.st_mode & (S_IWGRP | S_IWOTH)) && !(folder.st_mode & S_ISVTX))
        problem = "may be written by other users";
    else if (lstat(file.c_str(), &state) == 0 && (!S_ISREG(state.st_mode) || state.st_uid != getuid()))
        problem = "holds a state file that is not this user's own file";
    if (!problem)
        return true;
    fprintf(stderr, "%s: the state folder %s %s; refusing to start (make it %s's, mode 0700)\n", gBaseName.c_str(),
            dir.c_str(), problem, getuid() == 0 ? "root" : "this user");
    return false;
}

// The server's own settings: the stall timeout, the control socket free, a valid port.
bool serverSettings(int count, cups_option_t* options, int& port)
{
    long stall = number("stall-timeout", option("stall-timeout", count, options, "300"), 0, 86400);
    long jobs = number("max-jobs", option("max-jobs", count, options, "100"), 1, 10000);
    long p = number("server-port", option("server-port", count, options, "8631"), 0, 65535);
    long document = number("max-document-size", option("max-document-size", count, options, "1024"), 1, 1048576);
    long perUser = number("max-jobs-per-user", option("max-jobs-per-user", count, options, "1000"), 1, 1000000);
    long perHost = number("max-jobs-per-host", option("max-jobs-per-host", count, options, "1000"), 1, 1000000);
    long expiry = number("hold-expiry", option("hold-expiry", count, options, "86400"), 0, 31536000);
    if (stall < 0 || jobs < 0 || p < 0 || document < 0 || perUser < 0 || perHost < 0 || expiry < 0)
        return false;
    setLimits({int64_t(document) << 20, int(perUser), int(perHost), int(expiry)});
    setStallTimeout(int(stall));
    setMaxJobs(int(jobs));
    port = int(p);
    std::string socket = controlSocket();
    if (controlSocketInUse(socket)) {
        fprintf(stderr, "%s: another server already runs (its control socket %s answers); stop it first\n",
                gBaseName.c_str(), socket.c_str());
        return false;
    }
    return true;
}

// Where the state is kept when no state-file is given: PAPPL's places, except that root keeps it
// in a folder of its own (the systemd unit's StateDirectory, the only place there it may write).
std::string defaultStateFile()
{
    if (const char* snap = getenv("SNAP_COMMON"); snap && !gRuntimeFolder)
        return std::string(snap) + "/" + gBaseName + ".state";
    if (getuid() == 0) {
        std::string dir = "/var/lib/" + gBaseName;
        mkdir(dir.c_str(), 0700);
        return dir + "/" + gBaseName + ".state";
    }
    if (const char* config = getenv("XDG_CONFIG_HOME"); config && access(config, X_OK) == 0)
        return std::string(config) + "/" + gBaseName + ".state";
    if (const char* home = getenv("HOME")) {
        std::string dir = std::string(home) + "/.config";
        mkdir(dir.c_str(), 0700);
        if (access(dir.c_str(), W_OK) == 0)
            return dir + "/" + gBaseName + ".state";
    }
    return std::string(papplGetTempDir()) + "/" + gBaseName + std::to_string(getuid()) + ".state";
}

// The spool when none is given: root's own, and for other users PAPPL's temporary one, named here
// so that the app knows it too.
const char* defaultSpool()
{
    static const std::string spool = getuid() == 0 ? "/var/spool/" + gBaseName
                                                   : std::string(papplGetTempDir()) + "/pappl" + std::to_string(getpid()) + ".d";
    return spool.c_str();
}

pappl_system_t* makeSystem(int count, cups_option_t* options, void*)
{
    int port = 8631;
    if (gServerMode && !serverSettings(count, options, port))
        return nullptr;
    const char* listen = option("listen-hostname", count, options, "localhost");
    // The default is found (and root's folder for it made) only when no state-file is given.
    const char* given = gServerMode ? option("state-file", count, options, nullptr) : nullptr;
    std::string state = !gServerMode ? "" : given ? given : defaultStateFile();
    if (gServerMode && !privateEnough(state))
        return nullptr;
    if (gServerMode && getuid() == 0)
        keepCredentialsIn(state.substr(0, state.rfind('/') + 1) + "ssl");
    setSpoolDirectory(option("spool-directory", count, options, defaultSpool()));
    pappl_system_t* system = papplSystemCreate(
        serverOptions(option("server-options", count, options, nullptr)), "Korvi Printer Application", port,
        "_print,_universal", spoolDirectory().c_str(), option("log-file", count, options, "-"),
        logLevel(option("log-level", count, options, "info")), option("auth-service", count, options, nullptr), false);
    if (!system)
        return nullptr;
    if (const char* group = option("admin-group", count, options, nullptr))
        papplSystemSetAdminGroup(system, group);
    setSocketAdminGroup(option("admin-group", count, options, nullptr));
    if (strcmp(option("file-device", count, options, "no"), "yes") == 0)
        addCharacterFileDevice();
    allowHostName(listen);
    // The name clients are given. PAPPL would also rename the machine to it: guards.cpp refuses that.
    if (const char* name = option("server-hostname", count, options, option("server-name", count, options, nullptr))) {
        papplSystemSetHostName(system, name);
        allowHostName(name);
    }
    // Loopback unless told otherwise: a print server is shared on purpose, not by default. A
    // private server (one a subcommand started) answers on the control socket alone.
    bool listens = gServerMode && !cupsGetOption("private-server", count, options);
    if (listens) {
        papplSystemAddListeners(system, strcmp(listen, "*") == 0 ? nullptr : listen);
        // PAPPL 1.3.1 adds IPv6 only when IPv4 fails: the IPv6 side of "*" and of localhost here.
        if (strcmp(listen, "*") == 0 || strcasecmp(listen, "localhost") == 0)
            papplSystemAddListeners(system, strcmp(listen, "*") == 0 ? "[::]" : "[::1]");
    }
    advertiseWhere(listen, listens);
    papplSystemSetFooterHTML(system, kFooter);
    papplSystemSetPrinterDrivers(system, int(sizeof gDrivers / sizeof gDrivers[0]), gDrivers, nullptr,
                                 korviPrinterCreated, korviDriver, nullptr);
    addDocumentFilters(system);
    if (gServerMode) {
        loadState(system, state.c_str());
        // A printer of an earlier version's state kept its queue name as its name for clients.
        papplSystemIteratePrinters(
            system,
            [](pappl_printer_t* printer, void*) {
                limitQueue(printer);
                nameForClients(printer);
            },
            nullptr);
        watchPrinters(system);
        watchQueues(system);
        watchHolds(system);
    }
    return system;
}

// True when `dir` is a folder of this user's that no one else may enter.
bool ownPrivateFolder(const std::string& dir)
{
    struct stat info {};
    return lstat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == getuid() &&
           (info.st_mode & 077) == 0;
}

// A server run by a normal user keeps its control socket and spool (PAPPL names both in its
// temporary folder) where no other user can take their names first: $XDG_RUNTIME_DIR, or else a
// folder of its own in /tmp, unless TMPDIR names another place. The server and its subcommands
// find the same folder. False, with a message, when /tmp's folder is not this user's alone.
bool privateTempDir()
{
    if (getuid() == 0)
        return true;
    if (const char* tmp = getenv("TMPDIR"); tmp && *tmp && strcmp(tmp, "/tmp") != 0 && strcmp(tmp, "/tmp/") != 0)
        return true;
    if (const char* runtime = getenv("XDG_RUNTIME_DIR"); runtime && *runtime && ownPrivateFolder(runtime)) {
        setenv("TMPDIR", runtime, 1);
        return true;
    }
    std::string dir = "/tmp/" + gBaseName + "-" + std::to_string(getuid());
    mkdir(dir.c_str(), 0700);
    if (!ownPrivateFolder(dir)) {
        fprintf(stderr, "%s: %s is not a folder of this user's alone (mode 0700); remove it or set XDG_RUNTIME_DIR\n",
                gBaseName.c_str(), dir.c_str());
        return false;
    }
    setenv("TMPDIR", dir.c_str(), 1);
    return true;
}

}  // namespace

int main(int argc, char* argv[])
{
    signal(SIGPIPE, SIG_IGN);  // a stage or printer that goes away is an error, not the server's end
    const char* slash = strrchr(argv[0], '/');
    gBaseName = slash ? slash + 1 : argv[0];
    gServerMode = argc > 1 && strcmp(argv[1], "server") == 0;
    if (!privateTempDir())
        return 1;
    useRuntimeFolder();
    if (gServerMode)
        umask(077);  // its state, TLS key, spool and log are its own (a job's stages get their folder from it)
    addSocketDevice();
    return papplMainloop(argc, argv, KORVI_VERSION, kFooter, int(sizeof gDrivers / sizeof gDrivers[0]), gDrivers,
                         nullptr, korviDriver, nullptr, nullptr, makeSystem, nullptr, nullptr);
}
