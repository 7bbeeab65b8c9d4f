// removeTree: openat(O_NOFOLLOW | O_DIRECTORY) into each folder, unlinkat for each entry.
#include "removetree.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr int kMaxDepth = 64;

bool removeEntries(int dirFd, int depth);

// Removes the entry `name` of the folder `dirFd`: a file or link at once, a folder after its entries.
bool removeEntry(int dirFd, const char* name, int depth)
{
    if (unlinkat(dirFd, name, 0) == 0)
        return true;
    if (errno != EISDIR && errno != EPERM)
        return errno == ENOENT;
    int fd = openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = depth < kMaxDepth && removeEntries(fd, depth + 1);
    return unlinkat(dirFd, name, AT_REMOVEDIR) == 0 && ok;
}

// Takes `dirFd` (closed here) and removes every entry of its folder.
bool removeEntries(int dirFd, int depth)
{
    DIR* dir = fdopendir(dirFd);
    if (!dir) {
        close(dirFd);
        return false;
    }
    bool ok = true;
    for (bool again = true; again;) {  // entries removed while reading: read the folder again until empty
        again = false;
        rewinddir(dir);
        while (dirent* entry = readdir(dir)) {
            if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0)
                continue;
            if (!removeEntry(::dirfd(dir), entry->d_name, depth))
                ok = false;
            else
                again = true;
        }
        if (!ok)
            break;
    }
    closedir(dir);
    return ok;
}

}  // namespace

bool removeTree(const std::string& path)
{
    int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return unlink(path.c_str()) == 0 || errno == ENOENT;
    bool ok = removeEntries(fd, 0);
    return rmdir(path.c_str()) == 0 && ok;
}
