// The web password's hash and check, in place of PAPPL's papplSystemHashPassword (and of the
// session cookie's comparison, which PAPPL makes with strcmp). A hash written by earlier versions
// ("NONCE~SHA256(NONCE:password)", PAPPL's form) is still checked, soundly; new ones are yescrypt.
#include "password.h"

#include <crypt.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "interpose.h"

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

bool equalInConstantTime(const std::string& a, const std::string& b)
{
    unsigned char differ = a.size() == b.size() ? 0 : 1;
    for (size_t i = 0; i < a.size(); ++i)
        differ |= static_cast<unsigned char>(a[i] ^ (i < b.size() ? b[i] : 0));
    return differ == 0;
}

std::string sha256Hex(const std::string& text)
{
    unsigned char hash[32];
    char hex[65];
    cupsHashData("sha2-256", text.data(), text.size(), hash, sizeof hash);
    cupsHashString(hash, sizeof hash, hex, sizeof hex);
    return hex;
}

std::string cryptWith(const char* password, const char* setting)
{
    auto data = std::make_unique<crypt_data>();
    const char* hash = crypt_rn(password, setting, data.get(), int(sizeof *data));
    return hash && hash[0] != '*' ? hash : "";
}

std::string newHash(const char* password)
{
    char setting[CRYPT_GENSALT_OUTPUT_SIZE];
    if (!crypt_gensalt_rn("$y$", 0, nullptr, 0, setting, sizeof setting))
        return "";
    return cryptWith(password, setting);
}

bool hashMatches(const std::string& stored, const char* password)
{
    if (stored.empty() || !password)
        return false;
    if (stored[0] == '$') {
        std::string hash = cryptWith(password, stored.c_str());
        return !hash.empty() && equalInConstantTime(hash, stored);
    }
    size_t tilde = stored.find('~');
    if (tilde == std::string::npos)
        return false;
    std::string nonce = stored.substr(0, tilde);
    return equalInConstantTime(nonce + "~" + sha256Hex(nonce + ":" + password), stored);
}

std::string storedHash(pappl_system_t* system)
{
    char hash[256] = "";
    return system && papplSystemGetPassword(system, hash, sizeof hash) ? hash : "";
}

std::string addressOf(pappl_client_t* client)
{
    char text[256] = "unknown";
    if (http_addr_t* address = client ? httpGetAddress(papplClientGetHTTP(client)) : nullptr)
        httpAddrString(address, text, sizeof text);
    return text;
}

// Logs a wrong password and waits: a second, doubling from the fourth failure of the same address
// within a quarter of an hour, up to half a minute. Holds no lock while it waits.
void failed(pappl_client_t* client)
{
    std::string address = addressOf(client);
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
    if (hashMatches(storedHash(papplClientGetSystem(client)), password))
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
        papplCopyString(buffer, newHash(password).c_str(), bufsize);
        return buffer;
    }
    if (hashMatches(salt, password)) {
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
