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

KorviPaths choosePaths()
{
    if (ownPath() == KORVI_APP_BUILD_PATH)
        return {KORVI_BUILD_FILTER, KORVI_BUILD_PPD, KORVI_CUPS_FILTER_DIR};
    return {KORVI_CUPS_FILTER_DIR "/rastertokorvilaserprinter", KORVI_INSTALLED_PPD, KORVI_CUPS_FILTER_DIR};
}

}  // namespace

const KorviPaths& korviPaths()
{
    static const KorviPaths paths = choosePaths();
    return paths;
}
