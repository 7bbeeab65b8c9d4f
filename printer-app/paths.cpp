// Build-tree or installed paths, chosen once by where this program runs from.
#include "paths.h"

#include <unistd.h>

#include <climits>

namespace {

std::string ownPath()
{
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, size_t(n)) : std::string();
}

std::string parentOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// A program in a build tree's printer-app folder (or in a copy of that layout, as the tests make
// for servers that run as another user) uses the filter and PPD built beside it.
KorviPaths choosePaths()
{
    std::string folder = parentOf(ownPath());
    std::string top = parentOf(folder);
    std::string filter = top + "/filter/rastertokorvilaserprinter", ppd = top + "/ppd/korvilaser.ppd";
    if (folder.size() > top.size() && folder.substr(top.size()) == "/printer-app" &&
        access(filter.c_str(), X_OK) == 0 && access(ppd.c_str(), R_OK) == 0)
        return {filter, ppd, KORVI_CUPS_FILTER_DIR};
    return {KORVI_CUPS_FILTER_DIR "/rastertokorvilaserprinter", KORVI_INSTALLED_PPD, KORVI_CUPS_FILTER_DIR};
}

}  // namespace

namespace {

std::string gSpoolDirectory;

}  // namespace

void setSpoolDirectory(const std::string& directory)
{
    gSpoolDirectory = directory;
}

const std::string& spoolDirectory()
{
    return gSpoolDirectory;
}

const KorviPaths& korviPaths()
{
    static const KorviPaths paths = choosePaths();
    return paths;
}
