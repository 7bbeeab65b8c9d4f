// Who may do what (access.cpp says the rule).
#pragma once

#include <pappl/pappl.h>

#include <string>

// The name of who sends a request: the login, or else the name the client gives.
const char* requester(pappl_client_t* client);

// The client's address as text ("" for none), as the logs and the job owners' records give it.
std::string clientAddress(pappl_client_t* client);

// True when the client is an administrator and can show it without being asked (the control
// socket, loopback with no login configured, or a login it sent).
bool viewerIsAdministrator(pappl_client_t* client);

// With an Authorization header over TCP: checks it as any user's login (PAM, or web-admin and the
// web password); the job the request makes is then that user's. False when it is wrong.
bool loginAccepted(pappl_client_t* client);
