// The client threads PAPPL starts. PAPPL 1.3.1's server returns, and the system it serves is
// deleted, while threads it started for clients may still be answering a request or waiting
// for the next one on a kept-alive connection; they would read the freed system. The app counts
// these threads, and before the system is deleted ends their connections' reading and waits
// for them.
#pragma once

#include <pappl/pappl.h>

// PAPPL accepted the client's connection (on its main loop's thread, before the client's thread
// is started): from now on it is counted.
void clientAccepted(pappl_client_t* client);

// Runs a client's connection (PAPPL's own thread function `run`) on this thread, counted.
void runClient(pappl_client_t* client, void* (*run)(pappl_client_t*));

// The client's connection is about to be closed: it is no longer ended by waitForClients.
void clientClosing(pappl_client_t* client);

// Ends the reading of every client connection still open and waits, up to `seconds`, until all
// client threads have returned; then ends their connections both ways and waits as long again.
// Returns whether they all returned.
bool waitForClients(int seconds);
