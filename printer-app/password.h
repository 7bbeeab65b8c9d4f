// The web password: stored as a slow salted hash (yescrypt, as /etc/shadow), checked against the
// whole stored hash in constant time, and a wrong one answered no sooner than a second (later
// still after repeated failures from the same address). PAPPL 1.3.1's own check let any password
// in: it compared only a prefix of a hash made from the stored hash itself.
#pragma once

#include <pappl/pappl.h>

// The user name that goes with the web password in HTTP Basic authentication (IPP clients).
constexpr char kWebAdminUser[] = "web-admin";

// True when a web password is set.
bool webPasswordSet(pappl_system_t* system);

// True when `password` is the web password; a wrong one is logged with the client's address and
// answered after the delay.
bool webPasswordMatches(pappl_client_t* client, const char* password);

// Tells the password check which client the web interface's login (PAPPL's) is for.
void loginFrom(pappl_client_t* client);
