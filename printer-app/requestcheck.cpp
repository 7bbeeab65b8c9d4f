// Checks of a request's values and headers, apart from the server so that they can be tested alone.
#include "requestcheck.h"

#include <arpa/inet.h>
#include <strings.h>

#include <cctype>
#include <cstring>

namespace {

bool stringValued(ipp_tag_t tag)
{
    switch (tag) {
    case IPP_TAG_TEXT:
    case IPP_TAG_NAME:
    case IPP_TAG_TEXTLANG:
    case IPP_TAG_NAMELANG:
    case IPP_TAG_KEYWORD:
    case IPP_TAG_URI:
    case IPP_TAG_URISCHEME:
    case IPP_TAG_CHARSET:
    case IPP_TAG_LANGUAGE:
    case IPP_TAG_MIMETYPE:
    case IPP_TAG_MEMBERNAME:
        return true;
    default:
        return false;
    }
}

// IPP's own bounds: 1023 octets for text and URIs, 255 for names, keywords and the rest. PAPPL's
// state file is read back in lines of 2048 bytes: a longer value would split a line there, and
// its remainder would be read as a line of the sender's choosing.
size_t maxLength(ipp_tag_t tag)
{
    return tag == IPP_TAG_TEXT || tag == IPP_TAG_TEXTLANG || tag == IPP_TAG_URI ? 1023 : 255;
}

bool attributeSafe(ipp_attribute_t* attr)
{
    const char* name = ippGetName(attr);
    if (!plainText(name) || (name && strlen(name) > 255))
        return false;
    ipp_tag_t tag = ippGetValueTag(attr);
    for (int i = 0, n = ippGetCount(attr); i < n; ++i) {
        if (tag == IPP_TAG_BEGIN_COLLECTION && !firstUnsafeAttribute(ippGetCollection(attr, i)).empty())
            return false;
        const char* value = stringValued(tag) ? ippGetString(attr, i, nullptr) : nullptr;
        if (value && (!plainText(value) || strlen(value) > maxLength(tag)))
            return false;
    }
    return true;
}

std::string withoutFinalDot(std::string name)
{
    if (!name.empty() && name.back() == '.')
        name.pop_back();
    return name;
}

bool isLiteralAddress(const std::string& host)
{
    unsigned char address[16];
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        return inet_pton(AF_INET6, host.substr(1, host.size() - 2).c_str(), address) == 1;
    return inet_pton(AF_INET, host.c_str(), address) == 1;
}

// "http://HOST" or "https://HOST" exactly, or that followed by "/..." when `path` may follow.
bool isOriginOf(const char* url, const char* hostField, bool path)
{
    for (const char* scheme : {"http://", "https://"}) {
        size_t s = strlen(scheme), h = strlen(hostField);
        if (strncasecmp(url, scheme, s) == 0 && strncasecmp(url + s, hostField, h) == 0) {
            char next = url[s + h];
            return next == '\0' || (path && next == '/');
        }
    }
    return false;
}

}  // namespace

bool plainText(const char* text)
{
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); p && *p; ++p)
        if (*p < 0x20 || *p == 0x7F)
            return false;
    return true;
}

std::string firstUnsafeAttribute(ipp_t* ipp)
{
    for (ipp_attribute_t* attr = ippFirstAttribute(ipp); attr; attr = ippNextAttribute(ipp))
        if (!attributeSafe(attr))
            return ippGetName(attr) ? ippGetName(attr) : "(unnamed)";
    return {};
}

std::string hostOfField(const char* field)
{
    std::string host = field ? field : "";
    if (!host.empty() && host.front() == '[') {
        size_t end = host.find(']');
        host = end == std::string::npos ? host : host.substr(0, end + 1);
    } else if (size_t colon = host.rfind(':'); colon != std::string::npos) {
        host.resize(colon);
    }
    for (char& c : host)
        c = char(tolower(static_cast<unsigned char>(c)));
    return withoutFinalDot(host);
}

bool ownHost(const std::string& host, const std::vector<std::string>& names)
{
    if (host.empty() || !plainText(host.c_str()))
        return false;
    if (host == "localhost" || isLiteralAddress(host))
        return true;
    for (const std::string& name : names)
        if (!name.empty() && strcasecmp(withoutFinalDot(name).c_str(), host.c_str()) == 0)
            return true;
    return false;
}

bool sameOrigin(const char* origin, const char* referer, const char* hostField)
{
    if (!hostField || !*hostField)
        return !(origin && *origin) && !(referer && *referer);
    if (origin && *origin)
        return isOriginOf(origin, hostField, false);
    if (referer && *referer)
        return isOriginOf(referer, hostField, true);
    return true;
}
