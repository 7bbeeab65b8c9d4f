// The file:// device for character devices: opened for writing as it is, without creating it.
#include "filedevice.h"

#include <fcntl.h>
#include <pappl/pappl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <strings.h>

namespace {

bool gFileDevices = false;  // set before the server starts

struct CharacterDevice {
    int fd = -1;
};

// A printer's character device: parallel (lp, major 6), USB printer class (usb/lp, 180), serial
// (ttyS 4 from minor 64, ttyUSB 188, ttyACM 166), or /dev/null. Not disks, memory or consoles.
bool printerDevice(const struct stat& info)
{
    if (!S_ISCHR(info.st_mode))
        return false;
    unsigned maj = major(info.st_rdev), min = minor(info.st_rdev);
    return maj == 6 || maj == 180 || maj == 188 || maj == 166 || (maj == 4 && min >= 64) || (maj == 1 && min == 3);
}

bool openDevice(pappl_device_t* device, const char* uri, const char*)
{
    char scheme[32], user[32], host[256], path[1024];
    int port = 0;
    if (httpSeparateURI(HTTP_URI_CODING_ALL, uri, scheme, sizeof scheme, user, sizeof user, host, sizeof host, &port,
                        path, sizeof path) < HTTP_URI_STATUS_OK ||
        path[0] != '/') {
        papplDeviceError(device, "Bad device URI '%s'.", uri);
        return false;
    }
    struct stat info {};
    if (stat(path, &info) != 0 || !printerDevice(info)) {
        papplDeviceError(device, "'%s' is not a printer's device.", path);
        return false;
    }
    int fd = open(path, O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0 || fstat(fd, &info) != 0 || !printerDevice(info)) {
        papplDeviceError(device, "'%s' is not a character device: %s", path, fd < 0 ? strerror(errno) : "refused");
        if (fd >= 0)
            close(fd);
        return false;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    auto* d = new CharacterDevice;
    d->fd = fd;
    papplDeviceSetData(device, d);
    return true;
}

void closeDevice(pappl_device_t* device)
{
    auto* d = static_cast<CharacterDevice*>(papplDeviceGetData(device));
    if (!d)
        return;
    close(d->fd);
    delete d;
    papplDeviceSetData(device, nullptr);
}

ssize_t writeDevice(pappl_device_t* device, const void* buffer, size_t bytes)
{
    auto* d = static_cast<CharacterDevice*>(papplDeviceGetData(device));
    if (!d)
        return -1;
    const char* p = static_cast<const char*>(buffer);
    for (size_t left = bytes; left > 0;) {
        ssize_t n = write(d->fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            papplDeviceError(device, "Unable to write to the device: %s", strerror(errno));
            return -1;
        }
        p += n;
        left -= size_t(n);
    }
    return ssize_t(bytes);
}

ssize_t readDevice(pappl_device_t*, void*, size_t)
{
    return 0;
}

pappl_preason_t deviceStatus(pappl_device_t*)
{
    return PAPPL_PREASON_NONE;
}

}  // namespace

bool deviceUriAllowed(const char* uri)
{
    return gFileDevices || !uri || strncasecmp(uri, "file:", 5) != 0;
}

void addCharacterFileDevice()
{
    gFileDevices = true;
    papplDeviceAddScheme2("file", PAPPL_DEVTYPE_FILE, nullptr, openDevice, closeDevice, readDevice, writeDevice,
                          deviceStatus, nullptr, nullptr);
}
