// The state file. It holds a printer's jobs as lines "Job id="3" name="..." ...
// filename="/spool/p00001j000000003-doc.pdf" state="5" ...", within "<Printer id="1" ...>" ...
// "</Printer>"; interrupted jobs are ended there before PAPPL reads it, and job lines that name a
// file outside the spool (which PAPPL would print, then delete) are dropped.
#include "state.h"

#include <cups/cups.h>
#include <fcntl.h>
#include <glob.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "darkness.h"
#include "defaults.h"
#include "paths.h"
#include "paused.h"

namespace {

struct InterruptedJob {
    int printerId;
    int jobId;
};

std::string gStateFile;
// PAPPL's main loop and job threads both save.
std::atomic<unsigned long> gSaves{0};  // saves started
std::mutex gInstalling;                // held only to rename a save into place
unsigned long gInstalled = 0;          // the save now in place

constexpr const char* kMessage = "Printing was interrupted when the server stopped; send the document again.";

// An option of a state file line, or "" when it has none.
std::string lineOption(const std::string& line, const char* name)
{
    size_t space = line.find(' ');
    if (space == std::string::npos)
        return {};
    cups_option_t* options = nullptr;
    int count = cupsParseOptions(line.c_str() + space + 1, 0, &options);
    const char* value = cupsGetOption(name, count, options);
    std::string text = value ? value : "";
    cupsFreeOptions(count, options);
    return text;
}

// The name of `path` when it lies directly in the spool directory; "" otherwise (another folder,
// "..", a name PAPPL never writes).
std::string spoolEntry(const std::string& path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash + 1 == path.size())
        return {};
    std::string name = path.substr(slash + 1);
    if (name == "." || name == "..")
        return {};
    char* folder = realpath(path.substr(0, slash).c_str(), nullptr);
    char* spool = realpath(spoolDirectory().c_str(), nullptr);
    bool inside = folder && spool && strcmp(folder, spool) == 0;
    free(folder);
    free(spool);
    return inside ? name : std::string();
}

// Removes the spool's regular file `name`; never a link, a folder or anything outside the spool.
void unlinkSpoolFile(int spool, const std::string& name)
{
    struct stat entry {};
    if (fstatat(spool, name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(entry.st_mode))
        unlinkat(spool, name.c_str(), 0);
}

// The job's document and its saved attributes (named after the job, in the spool).
void removeSpoolFiles(int printerId, int jobId, const std::string& document)
{
    int spool = open(spoolDirectory().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (spool < 0)
        return;
    if (std::string name = spoolEntry(document); !name.empty())
        unlinkSpoolFile(spool, name);
    char pattern[64];
    snprintf(pattern, sizeof pattern, "/p%05dj%09d-*.ipp", printerId, jobId);
    glob_t found{};
    if (glob((spoolDirectory() + pattern).c_str(), GLOB_NOSORT, nullptr, &found) == 0)
        for (size_t i = 0; i < found.gl_pathc; ++i)
            if (std::string name = spoolEntry(found.gl_pathv[i]); !name.empty())
                unlinkSpoolFile(spool, name);
    globfree(&found);
    close(spool);
}

// A job line whose document is not a file of the spool: PAPPL would print that file and later
// delete it. Such a line is not the server's own; it is dropped.
// So is one of 2047 bytes or more, which PAPPL would read as two lines, the second the sender's.
bool foreignJobLine(const std::string& line)
{
    if (line.rfind("Job ", 0) != 0)
        return false;
    if (line.size() >= 2047)
        return true;
    std::string document = lineOption(line, "filename");
    return !document.empty() && spoolEntry(document).empty();
}

// A processing (5) or stopped (6) job's line, made aborted (8) and completed now.
bool endJobLine(std::string& line)
{
    for (const char* state : {" state=\"5\"", " state=\"6\""}) {
        size_t at = line.find(state);
        if (at == std::string::npos)
            continue;
        line.replace(at, strlen(state), " state=\"8\"");
        line += " completed=\"" + std::to_string(time(nullptr)) + "\"";
        return true;
    }
    return false;
}


// Marks the state file's processing jobs aborted and removes their spool files, and drops job
// lines that name a file outside the spool; returns the jobs ended, and counts the lines dropped.
std::vector<InterruptedJob> endInterruptedJobs(const std::string& stateFile, int& dropped)
{
    std::vector<InterruptedJob> ended;
    dropped = 0;
    std::ifstream in(stateFile);
    if (!in)
        return ended;
    std::ostringstream out;
    int printerId = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("<Printer ", 0) == 0)
            printerId = atoi(lineOption(line, "id").c_str());
        if (foreignJobLine(line)) {
            ++dropped;
            continue;
        }
        if (line.rfind("Job ", 0) == 0 && endJobLine(line)) {
            int jobId = atoi(lineOption(line, "id").c_str());
            removeSpoolFiles(printerId, jobId, lineOption(line, "filename"));
            ended.push_back({printerId, jobId});
        }
        out << line << '\n';
    }
    if (ended.empty() && dropped == 0)
        return ended;
    // Written beside it and renamed over it, so that a crash here leaves one whole file.
    std::string temporary = stateFile + ".new";
    {
        std::ofstream file(temporary, std::ios::trunc);
        file << out.str();
        if (!file.flush())
            return {};
    }
    chmod(temporary.c_str(), 0600);
    if (rename(temporary.c_str(), stateFile.c_str()) != 0)
        return {};
    return ended;
}

// Tells each ended job's clients why it ended.
void reportInterruptedJobs(pappl_system_t* system, const std::vector<InterruptedJob>& jobs)
{
    for (const InterruptedJob& j : jobs) {
        pappl_printer_t* printer = papplSystemFindPrinter(system, nullptr, j.printerId, nullptr);
        pappl_job_t* job = printer ? papplPrinterFindJob(printer, j.jobId) : nullptr;
        if (!job)
            continue;
        papplJobSetMessage(job, "%s", kMessage);
        papplJobSetReasons(job, PAPPL_JREASON_ABORTED_BY_SYSTEM, PAPPL_JREASON_NONE);
        papplLogJob(job, PAPPL_LOGLEVEL_WARN, "%s", kMessage);
    }
}

// Puts save `ticket`'s file in place of the state file, unless a later save is there already.
bool installSave(const std::string& temporary, unsigned long ticket)
{
    std::lock_guard<std::mutex> lock(gInstalling);
    if (ticket < gInstalled)
        return unlink(temporary.c_str()) == 0;
    if (rename(temporary.c_str(), gStateFile.c_str()) != 0)
        return false;
    gInstalled = ticket;
    return true;
}

// Each save writes a file of its own, with no lock of the app's held while PAPPL writes it
// (PAPPL takes its own); the newest save started is the one that stays.
bool saveState(pappl_system_t* system, void*)
{
    unsigned long ticket = ++gSaves;
    std::string temporary = gStateFile + ".new" + std::to_string(ticket);
    if (!papplSystemSaveState(system, temporary.c_str()) || !saveOrientationDefaults(temporary.c_str()) ||
        chmod(temporary.c_str(), 0600) != 0 || !installSave(temporary, ticket)) {
        papplLog(system, PAPPL_LOGLEVEL_ERROR, "Cannot save the state to %s: %s", gStateFile.c_str(), strerror(errno));
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace

void loadState(pappl_system_t* system, const char* stateFile)
{
    gStateFile = stateFile;
    int dropped = 0;
    std::vector<InterruptedJob> interrupted = endInterruptedJobs(gStateFile, dropped);
    if (dropped)
        papplLog(system, PAPPL_LOGLEVEL_ERROR, "Dropped %d job lines of %s that name a file outside the spool %s.",
                 dropped, gStateFile.c_str(), spoolDirectory().c_str());
    chmod(gStateFile.c_str(), 0600);  // it holds the web password's hash (earlier versions left it 0644)
    papplSystemLoadState(system, gStateFile.c_str());
    papplSystemIteratePrinters(system, [](pappl_printer_t* printer, void*) { loadDarkness(printer); }, nullptr);
    setPausedFile(gStateFile + ".paused");
    restorePauses(system);
    reportInterruptedJobs(system, interrupted);
    papplSystemSetSaveCallback(system, saveState, nullptr);
}

void saveNow(pappl_system_t* system)
{
    if (!gStateFile.empty())  // only a server that loaded its state saves it
        saveState(system, nullptr);
}
