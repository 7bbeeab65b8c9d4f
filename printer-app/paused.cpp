// The printers users paused, and the file that keeps them over a restart.
#include "paused.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <mutex>
#include <set>
#include <vector>

namespace {

std::mutex gLock;  // no PAPPL call is made while it is held
std::string gFile;
std::set<int> gPaused;  // printer ids
thread_local bool tResuming = false;

// Under the lock: writes the paused printers' ids to a new file and puts it in place of the old
// one, so that a server stopped at any moment leaves one or the other whole.
void writePaused()
{
    if (gFile.empty())
        return;
    if (gPaused.empty()) {
        unlink(gFile.c_str());
        return;
    }
    const std::string temporary = gFile + ".new";
    {
        std::ofstream out(temporary, std::ios::trunc);
        for (int id : gPaused)
            out << id << '\n';
        if (!out.flush()) {
            unlink(temporary.c_str());
            return;
        }
    }
    chmod(temporary.c_str(), 0600);
    if (rename(temporary.c_str(), gFile.c_str()) != 0)
        unlink(temporary.c_str());
}

bool isPaused(int id)
{
    std::lock_guard<std::mutex> lock(gLock);
    return gPaused.count(id) != 0;
}

}  // namespace

void setPausedFile(const std::string& path)
{
    std::lock_guard<std::mutex> lock(gLock);
    gFile = path;
}

void notePause(pappl_printer_t* printer, bool paused)
{
    if (!printer)
        return;
    const int id = papplPrinterGetID(printer);
    std::lock_guard<std::mutex> lock(gLock);
    if (paused ? !gPaused.insert(id).second : gPaused.erase(id) == 0)
        return;
    writePaused();
}

bool resumingItself()
{
    return tResuming;
}

void resumeUnlessPaused(pappl_printer_t* printer)
{
    const int id = papplPrinterGetID(printer);
    if (isPaused(id))
        return;
    tResuming = true;
    papplPrinterResume(printer);
    tResuming = false;
    if (isPaused(id))  // a user's pause came between the look and the resume
        papplPrinterPause(printer);
}

void restorePauses(pappl_system_t* system)
{
    std::vector<int> ids;
    {
        std::lock_guard<std::mutex> lock(gLock);
        std::ifstream in(gFile);
        for (int id; in >> id;)
            ids.push_back(id);
    }
    for (int id : ids) {
        if (pappl_printer_t* printer = papplSystemFindPrinter(system, nullptr, id, nullptr)) {
            papplPrinterPause(printer);
            papplLogPrinter(printer, PAPPL_LOGLEVEL_INFO, "Paused, as it was when the server stopped.");
        }
    }
}
