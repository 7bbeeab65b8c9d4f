// The web password's hashes, apart from the server so that they can be tested alone.
#include "passwordhash.h"

#include <crypt.h>
#include <cups/cups.h>

#include <memory>

namespace {

std::string cryptWith(const char* password, const char* setting)
{
    auto data = std::make_unique<crypt_data>();
    const char* hash = crypt_rn(password, setting, data.get(), int(sizeof *data));
    return hash && hash[0] != '*' ? hash : "";
}

}  // namespace

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

std::string newPasswordHash(const char* password)
{
    char setting[CRYPT_GENSALT_OUTPUT_SIZE];
    if (!crypt_gensalt_rn("$y$", 0, nullptr, 0, setting, sizeof setting))
        return "";
    return cryptWith(password, setting);
}

bool passwordMatches(const std::string& stored, const char* password)
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

