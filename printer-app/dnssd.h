// Where the server's printers are advertised with DNS-SD (dnssd.cpp says what it mends in PAPPL's).
#pragma once

// On the interfaces the server listens on (listen-hostname: "*", a name or an address), or
// nowhere when it does not listen on the network at all.
void advertiseWhere(const char* listenHostname, bool listens);
