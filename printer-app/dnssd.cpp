// DNS-SD (avahi) advertising, as far as PAPPL 1.3.1 leaves it to the app. PAPPL registers every
// service on every interface, even when the server listens on loopback alone; it claims a Mopria
// certification the app does not have (the TXT key mopria-certified); and when avahi-daemon
// restarts, its client fails for good ("Avahi server crashed.") and nothing is advertised again
// until the server restarts. The definitions here take the place of avahi's for libpappl's calls:
// - services go only where the server listens: loopback's interface for a loopback server, the
//   interface holding the address it listens on, or every interface for "*"; a server reachable
//   only by its control socket advertises nothing;
// - mopria-certified is left out of the TXT records;
// - when avahi-daemon goes away a new client waits for it, and PAPPL's client stands for the new
//   one from then on: once it runs, PAPPL is told as for a new host name, and registers every
//   printer again.
#include "dnssd.h"

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-client/publish.h>
#include <avahi-common/error.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <pappl/pappl.h>

#include <atomic>
#include <cstring>

#include "interpose.h"

namespace {

bool gAdvertise = true;
AvahiIfIndex gInterface = AVAHI_IF_UNSPEC;

// PAPPL's client, and the one that stands for it now.
struct Client {
    AvahiClient* pappl = nullptr;
    std::atomic<AvahiClient*> live{nullptr};
    const AvahiPoll* poll = nullptr;
    AvahiClientCallback callback = nullptr;
};
Client gClient;

AvahiClient* liveClient(AvahiClient* client)
{
    AvahiClient* live = gClient.live.load();
    return client && client == gClient.pappl && live ? live : client;
}

bool sameAddress(const sockaddr* a, const sockaddr* b)
{
    if (a->sa_family != b->sa_family)
        return false;
    if (a->sa_family == AF_INET)
        return reinterpret_cast<const sockaddr_in*>(a)->sin_addr.s_addr ==
               reinterpret_cast<const sockaddr_in*>(b)->sin_addr.s_addr;
    return a->sa_family == AF_INET6 && memcmp(&reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr,
                                              &reinterpret_cast<const sockaddr_in6*>(b)->sin6_addr, 16) == 0;
}

// The interface that holds the addresses the server listens on: loopback's for loopback, or any.
AvahiIfIndex interfaceOf(http_addrlist_t* addresses)
{
    if (httpAddrLocalhost(&addresses->addr))
        return AvahiIfIndex(if_nametoindex("lo"));
    AvahiIfIndex index = AVAHI_IF_UNSPEC;
    if (ifaddrs* interfaces = nullptr; getifaddrs(&interfaces) == 0) {
        for (ifaddrs* i = interfaces; i && index == AVAHI_IF_UNSPEC; i = i->ifa_next)
            for (http_addrlist_t* a = addresses; i->ifa_addr && a && index == AVAHI_IF_UNSPEC; a = a->next)
                if (sameAddress(i->ifa_addr, &a->addr.addr))
                    index = AvahiIfIndex(if_nametoindex(i->ifa_name));
        freeifaddrs(interfaces);
    }
    return index;
}

AvahiIfIndex where(AvahiIfIndex asked)
{
    return asked == AVAHI_IF_UNSPEC ? gInterface : asked;
}

// The TXT record without the keys the app cannot back.
AvahiStringList* withoutClaims(AvahiStringList* txt)
{
    AvahiStringList* kept = nullptr;
    for (AvahiStringList* i = txt; i; i = avahi_string_list_get_next(i)) {
        const char* text = reinterpret_cast<const char*>(avahi_string_list_get_text(i));
        size_t size = avahi_string_list_get_size(i);
        static const char kMopria[] = "mopria-certified=";
        if (size >= sizeof kMopria - 1 && strncmp(text, kMopria, sizeof kMopria - 1) == 0)
            continue;
        kept = avahi_string_list_add_arbitrary(kept, avahi_string_list_get_text(i), size);
    }
    return avahi_string_list_reverse(kept);
}

void clientChanged(AvahiClient* client, AvahiClientState state, void* data);

// Called in avahi's thread, with its lock held, as PAPPL's own calls are. The failed client is
// kept: PAPPL still holds it, and frees its entry groups as it registers again.
void reconnect(void* data)
{
    static const auto realNew = nextDefinition("avahi_client_new", &avahi_client_new);
    papplLog(static_cast<pappl_system_t*>(data), PAPPL_LOGLEVEL_WARN,
             "avahi-daemon went away; the printers are advertised again as soon as it is back.");
    int error = 0;
    if (AvahiClient* fresh = realNew(gClient.poll, AVAHI_CLIENT_NO_FAIL, clientChanged, data, &error))
        gClient.live = fresh;
    else
        papplLog(static_cast<pappl_system_t*>(data), PAPPL_LOGLEVEL_ERROR, "Unable to reach avahi-daemon again: %s",
                 avahi_strerror(error));
}

void clientChanged(AvahiClient* client, AvahiClientState state, void* data)
{
    if (state == AVAHI_CLIENT_FAILURE && avahi_client_errno(client) == AVAHI_ERR_DISCONNECTED) {
        reconnect(data);
        return;
    }
    if (gClient.callback)
        gClient.callback(gClient.pappl ? gClient.pappl : client, state, data);
}

}  // namespace

void advertiseWhere(const char* listenHostname, bool listens)
{
    gAdvertise = listens;
    gInterface = AVAHI_IF_UNSPEC;
    if (!listens || strcmp(listenHostname, "*") == 0)
        return;
    // The addresses PAPPL listens on, found as it finds them ("localhost" is loopback even where
    // no hosts file says so); none: it listens nowhere, and nothing is advertised.
    http_addrlist_t* addresses = httpAddrGetList(listenHostname, AF_UNSPEC, "0");
    if (!addresses) {
        gAdvertise = false;
        return;
    }
    gInterface = interfaceOf(addresses);
    httpAddrFreeList(addresses);
}

extern "C" {

AvahiClient* avahi_client_new(const AvahiPoll* poll, AvahiClientFlags flags, AvahiClientCallback callback,
                              void* data, int* error)
{
    static const auto real = nextDefinition("avahi_client_new", &avahi_client_new);
    gClient.poll = poll;
    gClient.callback = callback;
    AvahiClient* client = real(poll, flags, clientChanged, data, error);
    gClient.pappl = client;
    gClient.live = client;
    return client;
}

const char* avahi_client_get_host_name_fqdn(AvahiClient* client)
{
    static const auto real = nextDefinition("avahi_client_get_host_name_fqdn", &avahi_client_get_host_name_fqdn);
    return real(liveClient(client));
}

AvahiEntryGroup* avahi_entry_group_new(AvahiClient* client, AvahiEntryGroupCallback callback, void* data)
{
    static const auto real = nextDefinition("avahi_entry_group_new", &avahi_entry_group_new);
    return real(liveClient(client), callback, data);
}

int avahi_entry_group_add_service_strlst(AvahiEntryGroup* group, AvahiIfIndex interface, AvahiProtocol protocol,
                                         AvahiPublishFlags flags, const char* name, const char* type,
                                         const char* domain, const char* host, uint16_t port, AvahiStringList* txt)
{
    static const auto real = nextDefinition("avahi_entry_group_add_service_strlst", &avahi_entry_group_add_service_strlst);
    AvahiStringList* kept = withoutClaims(txt);
    int result = real(group, where(interface), protocol, flags, name, type, domain, host, port, kept);
    avahi_string_list_free(kept);
    return result;
}

int avahi_entry_group_add_service_subtype(AvahiEntryGroup* group, AvahiIfIndex interface, AvahiProtocol protocol,
                                          AvahiPublishFlags flags, const char* name, const char* type,
                                          const char* domain, const char* subtype)
{
    static const auto real =
        nextDefinition("avahi_entry_group_add_service_subtype", &avahi_entry_group_add_service_subtype);
    return real(group, where(interface), protocol, flags, name, type, domain, subtype);
}

int avahi_entry_group_add_record(AvahiEntryGroup* group, AvahiIfIndex interface, AvahiProtocol protocol,
                                 AvahiPublishFlags flags, const char* name, uint16_t clazz, uint16_t type,
                                 uint32_t ttl, const void* rdata, size_t size)
{
    static const auto real = nextDefinition("avahi_entry_group_add_record", &avahi_entry_group_add_record);
    return real(group, where(interface), protocol, flags, name, clazz, type, ttl, rdata, size);
}

// Listing network printers (the Add Printer page, Find-Devices) goes through the live client. With
// no client at all (the system's D-Bus cannot be reached) avahi would abort the whole server: the
// browser is then simply not made, and PAPPL reports that and goes on.
AvahiServiceBrowser* avahi_service_browser_new(AvahiClient* client, AvahiIfIndex interface, AvahiProtocol protocol,
                                               const char* type, const char* domain, AvahiLookupFlags flags,
                                               AvahiServiceBrowserCallback callback, void* data)
{
    static const auto real = nextDefinition("avahi_service_browser_new", &avahi_service_browser_new);
    client = liveClient(client);
    return client ? real(client, interface, protocol, type, domain, flags, callback, data) : nullptr;
}

AvahiRecordBrowser* avahi_record_browser_new(AvahiClient* client, AvahiIfIndex interface, AvahiProtocol protocol,
                                             const char* name, uint16_t clazz, uint16_t type, AvahiLookupFlags flags,
                                             AvahiRecordBrowserCallback callback, void* data)
{
    static const auto real = nextDefinition("avahi_record_browser_new", &avahi_record_browser_new);
    client = liveClient(client);
    return client ? real(client, interface, protocol, name, clazz, type, flags, callback, data) : nullptr;
}

AvahiServiceResolver* avahi_service_resolver_new(AvahiClient* client, AvahiIfIndex interface, AvahiProtocol protocol,
                                                 const char* name, const char* type, const char* domain,
                                                 AvahiProtocol aprotocol, AvahiLookupFlags flags,
                                                 AvahiServiceResolverCallback callback, void* data)
{
    static const auto real = nextDefinition("avahi_service_resolver_new", &avahi_service_resolver_new);
    client = liveClient(client);
    return client ? real(client, interface, protocol, name, type, domain, aprotocol, flags, callback, data) : nullptr;
}

// A server that nobody reaches over the network (a private one, on its control socket alone)
// advertises nothing.
bool _papplPrinterRegisterDNSSDNoLock(pappl_printer_t* printer)
{
    static const auto real = nextDefinition("_papplPrinterRegisterDNSSDNoLock", &_papplPrinterRegisterDNSSDNoLock);
    return gAdvertise ? real(printer) : true;
}

bool _papplSystemRegisterDNSSDNoLock(pappl_system_t* system)
{
    static const auto real = nextDefinition("_papplSystemRegisterDNSSDNoLock", &_papplSystemRegisterDNSSDNoLock);
    return gAdvertise ? real(system) : true;
}

}  // extern "C"
