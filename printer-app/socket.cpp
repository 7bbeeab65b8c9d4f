// The socket:// device: a TCP connection to HOST:PORT (9100 unless given), written as the job's
// bytes come, read for what the printer says back.
#include "socket.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "offline.h"

// PAPPL's own registrations of its other devices (exported by libpappl 1.3.1); they leave a
// scheme that is already registered as it is. Not its file scheme, which writes any file it is
// given (filedevice.h).
extern "C" {
void _papplDeviceAddNetworkSchemes(void) __attribute__((weak));
void _papplDeviceAddUSBScheme(void) __attribute__((weak));
}

namespace {

constexpr int kConnectMilliseconds = 30000;
constexpr int kRetrySeconds = 5;

struct Socket {
    std::string uri;
    int fd = -1;
    bool used = false;  // a job has written on this connection
};

// The connection of a socket:// device (PAPPL calls these callbacks for that scheme alone).
Socket* socketOf(pappl_device_t* device)
{
    return static_cast<Socket*>(papplDeviceGetData(device));
}

// Connects to the URI's host and port; -1 (with the reason told to the device) when it cannot.
int connectTo(pappl_device_t* device, const std::string& uri)
{
    char scheme[32], user[32], host[256], resource[256];
    int port = 0;
    if (httpSeparateURI(HTTP_URI_CODING_ALL, uri.c_str(), scheme, sizeof scheme, user, sizeof user, host, sizeof host,
                        &port, resource, sizeof resource) < HTTP_URI_STATUS_OK) {
        papplDeviceError(device, "Bad device URI '%s'.", uri.c_str());
        return -1;
    }
    std::string service = std::to_string(port > 0 ? port : 9100);
    http_addrlist_t* addresses = httpAddrGetList(host, AF_UNSPEC, service.c_str());
    int fd = -1;
    if (!addresses)
        papplDeviceError(device, "Unable to find '%s': %s", host, cupsLastErrorString());
    else if (!httpAddrConnect2(addresses, &fd, kConnectMilliseconds, nullptr))
        papplDeviceError(device, "Unable to connect to '%s:%s': %s", host, service.c_str(), strerror(errno));
    httpAddrFreeList(addresses);
    return fd;
}

bool openSocket(pappl_device_t* device, const char* uri, const char*)
{
    auto* s = new Socket;
    s->uri = uri;
    s->fd = connectTo(device, s->uri);
    if (s->fd < 0) {
        delete s;
        return false;
    }
    papplDeviceSetData(device, s);
    return true;
}

void closeSocket(pappl_device_t* device)
{
    Socket* s = socketOf(device);
    if (!s)
        return;
    if (s->fd >= 0)
        close(s->fd);
    delete s;
    papplDeviceSetData(device, nullptr);
}

ssize_t writeSocket(pappl_device_t* device, const void* buffer, size_t bytes)
{
    Socket* s = socketOf(device);
    if (!s || s->fd < 0)
        return -1;
    s->used = true;
    const char* p = static_cast<const char*>(buffer);
    for (size_t left = bytes; left > 0;) {
        ssize_t n = write(s->fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            papplDeviceError(device, "Unable to write to the printer: %s", strerror(errno));
            return -1;
        }
        p += n;
        left -= size_t(n);
    }
    return ssize_t(bytes);
}

ssize_t readSocket(pappl_device_t* device, void* buffer, size_t bytes)
{
    Socket* s = socketOf(device);
    if (!s || s->fd < 0)
        return -1;
    pollfd in{s->fd, POLLIN, 0};
    if (poll(&in, 1, 10000) <= 0)
        return 0;
    return read(s->fd, buffer, bytes);
}

// The socket:// connection a job prints on; null for other devices.
Socket* jobSocket(pappl_job_t* job, pappl_device_t* device)
{
    const char* uri = papplPrinterGetDeviceURI(papplJobGetPrinter(job));
    return uri && strncmp(uri, "socket://", 9) == 0 ? socketOf(device) : nullptr;
}

pappl_preason_t socketStatus(pappl_device_t*)
{
    return PAPPL_PREASON_NONE;
}

}  // namespace

void addSocketDevice()
{
    papplDeviceAddScheme2("socket", PAPPL_DEVTYPE_SOCKET, nullptr, openSocket, closeSocket, readSocket, writeSocket,
                          socketStatus, nullptr, nullptr);
    for (void (*add)(void) : {_papplDeviceAddNetworkSchemes, _papplDeviceAddUSBScheme})
        if (add)
            add();
}

bool freshConnection(pappl_job_t* job, pappl_device_t* device)
{
    Socket* s = jobSocket(job, device);
    // A connection stays as it is only when it is open and no job has written on it; one that
    // the job before closed (also one cancelled before it wrote a byte) is opened again.
    if (!s || (!s->used && s->fd >= 0))
        return true;
    if (s->fd >= 0)
        close(s->fd);
    s->fd = -1;
    s->used = false;
    while ((s->fd = connectTo(device, s->uri)) < 0) {
        printerUnreachable(job);
        for (int tenth = 0; tenth < kRetrySeconds * 10; ++tenth) {
            if (papplJobIsCanceled(job))
                return false;
            usleep(100000);
        }
    }
    printerReached(job);
    return true;
}

void endConnection(pappl_job_t* job, pappl_device_t* device)
{
    Socket* s = jobSocket(job, device);
    if (!s || s->fd < 0)
        return;
    papplDeviceFlush(device);
    close(s->fd);
    s->fd = -1;
}
