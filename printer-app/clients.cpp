// Counting PAPPL's client threads, and ending them before the system is deleted (clients.h).
#include "clients.h"

#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <utility>
#include <vector>

namespace {

std::mutex gMutex;
std::condition_variable gEnded;
int gRunning = 0;                                     // client threads inside runClient
std::vector<std::pair<pappl_client_t*, int>> gOpen;  // connections not yet closed, with their socket

}  // namespace

void runClient(pappl_client_t* client, void* (*run)(pappl_client_t*))
{
    int fd = httpGetFd(papplClientGetHTTP(client));
    {
        std::lock_guard<std::mutex> lock(gMutex);
        ++gRunning;
        gOpen.emplace_back(client, fd);
    }
    run(client);  // closes the connection (clientClosing) and frees the client before it returns
    std::lock_guard<std::mutex> lock(gMutex);
    if (--gRunning == 0)
        gEnded.notify_all();
}

void clientClosing(pappl_client_t* client)
{
    std::lock_guard<std::mutex> lock(gMutex);
    gOpen.erase(std::remove_if(gOpen.begin(), gOpen.end(), [&](const auto& c) { return c.first == client; }),
                gOpen.end());
}

bool waitForClients(int seconds)
{
    std::unique_lock<std::mutex> lock(gMutex);
    // A socket listed here is still open: its closing takes it out first, under this lock.
    // A request being answered still gets its answer; only reading is ended.
    for (const auto& c : gOpen)
        shutdown(c.second, SHUT_RD);
    return gEnded.wait_for(lock, std::chrono::seconds(seconds), [] { return gRunning == 0; });
}
