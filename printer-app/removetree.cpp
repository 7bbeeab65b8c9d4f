// removeTree: openat(O_NOFOLLOW | O_DIRECTORY) into each folder, getdents64 for its entries and
// unlinkat for each. Nothing here allocates memory or takes a lock: it runs in a child forked from
// the threaded server (chain.cpp), where only async-signal-safe calls are sound.
#include "removetree.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

constexpr int kMaxDepth = 32;

struct LinuxDirent64 {
    uint64_t ino;
    int64_t off;
    unsigned short reclen;
    unsigned char type;
    char name[1];
};

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
    close(fd);
    return unlinkat(dirFd, name, AT_REMOVEDIR) == 0 && ok;
}

// Removes every entry of the folder `dirFd`, reading it again from the start until it is empty.
bool removeEntries(int dirFd, int depth)
{
    alignas(8) char buffer[2048];
    for (;;) {
        if (lseek(dirFd, 0, SEEK_SET) != 0)
            return false;
        bool removed = false;
        for (;;) {
            long n = syscall(SYS_getdents64, dirFd, buffer, sizeof buffer);
            if (n < 0)
                return false;
            if (n == 0)
                break;
            for (long at = 0; at < n;) {
                const auto* entry = reinterpret_cast<const LinuxDirent64*>(buffer + at);
                at += entry->reclen;
                const char* name = buffer + (at - entry->reclen) + offsetof(LinuxDirent64, name);
                if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0)
                    continue;
                if (!removeEntry(dirFd, name, depth))
                    return false;
                removed = true;
            }
        }
        if (!removed)
            return true;
    }
}

}  // namespace

bool removeTree(const std::string& path)
{
    int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return unlink(path.c_str()) == 0 || errno == ENOENT;
    bool ok = removeEntries(fd, 0);
    close(fd);
    return rmdir(path.c_str()) == 0 && ok;
}
