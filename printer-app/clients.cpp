// Counting PAPPL's client threads, and ending them before the system is deleted (clients.h).
#include "clients.h"

#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

namespace {

std::mutex gMutex;
std::condition_variable gEnded;
int gRunning = 0;                                     // clients accepted whose thread has not returned
std::set<pappl_client_t*> gNotStarted;                // accepted, their thread not yet running
std::vector<std::pair<pappl_client_t*, int>> gOpen;  // connections not yet closed, with their socket

void ended()
{
    if (--gRunning == 0)
        gEnded.notify_all();
}

}  // namespace

void clientAccepted(pappl_client_t* client)
{
    int fd = httpGetFd(papplClientGetHTTP(client));
    std::lock_guard<std::mutex> lock(gMutex);
    ++gRunning;
    gNotStarted.insert(client);
    gOpen.emplace_back(client, fd);
}

void runClient(pappl_client_t* client, void* (*run)(pappl_client_t*))
{
    {
        std::lock_guard<std::mutex> lock(gMutex);
        gNotStarted.erase(client);
    }
    run(client);  // closes the connection (clientClosing) and frees the client before it returns
    std::lock_guard<std::mutex> lock(gMutex);
    ended();
}

void clientClosing(pappl_client_t* client)
{
    std::lock_guard<std::mutex> lock(gMutex);
    gOpen.erase(std::remove_if(gOpen.begin(), gOpen.end(), [&](const auto& c) { return c.first == client; }),
                gOpen.end());
    if (gNotStarted.erase(client))
        ended();  // its thread could not be started: PAPPL closes it on the accepting thread
}

bool waitForClients(int seconds)
{
    std::unique_lock<std::mutex> lock(gMutex);
    // A socket listed here is still open: its closing takes it out first, under this lock.
    // A request being answered still gets its answer; only reading is ended.
    for (const auto& c : gOpen)
        shutdown(c.second, SHUT_RD);
    if (gEnded.wait_for(lock, std::chrono::seconds(seconds), [] { return gRunning == 0; }))
        return true;
    // A client that reads no answer keeps its thread writing: both ways are ended now.
    for (const auto& c : gOpen)
        shutdown(c.second, SHUT_RDWR);
    return gEnded.wait_for(lock, std::chrono::seconds(seconds), [] { return gRunning == 0; });
}
