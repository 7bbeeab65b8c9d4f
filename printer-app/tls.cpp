// The server's TLS credentials in a folder of its own: PAPPL names none (it passes no path to
// cupsSetServerCredentials whenever the host name is set), so the path is given here.
#include "tls.h"

#include <cups/cups.h>
#include <sys/stat.h>

#include "interpose.h"

namespace {

std::string gCredentials;  // empty: libcups's own place

}  // namespace

void keepCredentialsIn(const std::string& dir)
{
    mkdir(dir.c_str(), 0700);
    gCredentials = dir;
}

extern "C" int cupsSetServerCredentials(const char* path, const char* commonName, int autoCreate)
{
    static const auto real = nextDefinition("cupsSetServerCredentials", &cupsSetServerCredentials);
    return real(path || gCredentials.empty() ? path : gCredentials.c_str(), commonName, autoCreate);
}
