// The web password's hash and check, in place of PAPPL's papplSystemHashPassword (and of the
// session cookie's comparison, which PAPPL makes with strcmp). A hash written by earlier versions
// ("NONCE~SHA256(NONCE:password)", PAPPL's form) is still checked, soundly; new ones are yescrypt.
#include "password.h"


#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "access.h"
#include "interpose.h"
#include "passwordhash.h"

namespace {

thread_local pappl_client_t* tLoginClient = nullptr;  // PAPPL serves each client on a thread of its own

struct Failures {
    int count = 0;
    std::chrono::steady_clock::time_point last;
};
std::mutex gFailuresLock;
std::map<std::string, Failures> gFailures;  // by client address

constexpr auto kForgetAfter = std::chrono::minutes(15);
constexpr int kMaxDelaySeconds = 30;

std::string storedHash(pappl_system_t* system)
{
    char hash[256] = "";
    return system && papplSystemGetPassword(system, hash, sizeof hash) ? hash : "";
}

// Logs a wrong password and waits: a second, doubling from the fourth failure of the same address
// within a quarter of an hour, up to half a minute. Holds no lock while it waits.
void failed(pappl_client_t* client)
{
    std::string address = client ? clientAddress(client) : "unknown";
    int count;
    {
        std::lock_guard<std::mutex> lock(gFailuresLock);
        auto now = std::chrono::steady_clock::now();
        for (auto it = gFailures.begin(); it != gFailures.end();)
            it = now - it->second.last > kForgetAfter ? gFailures.erase(it) : std::next(it);
        Failures& f = gFailures[address];
        count = ++f.count;
        f.last = now;
    }
    int delay = count <= 3 ? 1 : std::min(kMaxDelaySeconds, 1 << std::min(count - 3, 5));
    if (client)
        papplLogClient(client, PAPPL_LOGLEVEL_WARN, "Wrong web password from %s (failure %d; answered in %d s).",
                       address.c_str(), count, delay);
    std::this_thread::sleep_for(std::chrono::seconds(delay));
}

}  // namespace

bool webPasswordSet(pappl_system_t* system)
{
    return !storedHash(system).empty();
}

bool webPasswordMatches(pappl_client_t* client, const char* password)
{
    if (passwordMatches(storedHash(papplClientGetSystem(client)), password))
        return true;
    failed(client);
    return false;
}

void loginFrom(pappl_client_t* client)
{
    tLoginClient = client;
}

extern "C" {

// With a stored hash as `salt`: that hash again when the password matches it, "*" (which matches
// no hash) when not, so that PAPPL's own comparisons of the result decide rightly. Without one: a
// new hash.
char* papplSystemHashPassword(pappl_system_t* system, const char* salt, const char* password, char* buffer,
                              size_t bufsize)
{
    if (!buffer || bufsize == 0)
        return buffer;
    *buffer = '\0';
    if (!system || !password)
        return buffer;
    if (!salt || !*salt) {
        // Never "": PAPPL would store it as no password at all. "*" matches no password.
        std::string hash = newPasswordHash(password);
        papplCopyString(buffer, hash.empty() ? "*" : hash.c_str(), bufsize);
        return buffer;
    }
    if (passwordMatches(salt, password)) {
        papplCopyString(buffer, salt, bufsize);
    } else {
        papplCopyString(buffer, "*", bufsize);
        failed(tLoginClient);
    }
    return buffer;
}

// The web interface's login cookie, kept only when it is this session's and password's (compared
// here in constant time): PAPPL then finds no cookie rather than a wrong one.
char* papplClientGetCookie(pappl_client_t* client, const char* name, char* buffer, size_t bufsize)
{
    static const auto real = nextDefinition("papplClientGetCookie", &papplClientGetCookie);
    char* value = real(client, name, buffer, bufsize);
    if (!value || !name || strcmp(name, "auth") != 0)
        return value;
    pappl_system_t* system = papplClientGetSystem(client);
    char key[65] = "";
    std::string stored = storedHash(system);
    papplSystemGetSessionKey(system, key, sizeof key);
    if (!stored.empty() && equalInConstantTime(value, sha256Hex(std::string(key) + ":" + stored)))
        return value;
    *buffer = '\0';
    return nullptr;
}

}  // extern "C"
