// Whose a job is, and what others see of it. A job belongs to the user who sent it: the login
// when the client gave one, the peer's own user on the control socket, else the name the client
// sends; without a login, over TCP, it is also the address it came from, so another host cannot
// take a job over by sending its owner's name. Job names, document names and owners are shown to
// the owner and administrators alone, as CUPS's default policy keeps them private.
#pragma once

#include <pappl/pappl.h>

#include <string>

// True for a TCP client without a login (the control socket's peers are known by their uid).
bool anonymousClient(pappl_client_t* client);

// Remembers who created the job the client's request just made (its response holds the job-id).
void recordCreator(pappl_client_t* client);

// True when the client is the owner of `job`.
bool ownsJob(pappl_client_t* client, pappl_job_t* job);

// True when `job` was made by a TCP client without a login (its address in `address`, if given).
bool createdAnonymously(pappl_job_t* job, std::string* address);

// Remembers who made the subscriptions the client's request just made (by address, for TCP
// clients without a login, as for jobs).
void recordSubscriptions(pappl_client_t* client);

// True when the request names a subscription of another user's (Cancel-, Renew-Subscription).
bool changesOthersSubscription(pappl_client_t* client);

// Removes the private values of other users' jobs and subscriptions from the client's response
// (Get-Jobs, Get-Job-Attributes, Get-Notifications' events, Get-Subscriptions and
// Get-Subscription-Attributes).
void hidePrivateValues(pappl_client_t* client);

// Runs `page`, a web page of PAPPL's for `printer`, with every job's name and owner on it shown
// as "Withheld" unless the client is an administrator (a web page knows no other owner).
void showWithholding(pappl_client_t* client, pappl_printer_t* printer,
                     void (*page)(pappl_client_t*, pappl_printer_t*));

// The response PAPPL is building for this thread's client (seen as PAPPL answers).
void noteResponse(ipp_t* response);
