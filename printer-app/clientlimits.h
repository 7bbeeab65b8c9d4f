// Bounds on what clients can make the server keep: a document's size, for every client (server
// option max-document-size, MB, default 1024); and for clients without a login, pending jobs per
// user and per host (max-jobs-per-user and max-jobs-per-host, default 1000 each) and holds
// without an end, which expire (hold-expiry, seconds, default 86400, 0 for never; timed holds such
// as "weekend" keep theirs). Logins and users of the control socket are otherwise bounded by
// max-jobs alone.
#pragma once

#include <pappl/pappl.h>

#include <cstdint>

struct Limits {
    int64_t maxDocumentBytes = int64_t(1024) << 20;
    int maxJobsPerUser = 1000;
    int maxJobsPerHost = 1000;
    int holdExpirySeconds = 86400;
};

void setLimits(const Limits& limits);

// False (with the answer sent) when the request's document is larger than allowed, or the
// client's user or host has as many pending jobs as allowed.
bool requestWithinLimits(pappl_client_t* client);

// Counts the document's bytes as PAPPL reads them for `job`, within copy(); past the limit, the
// reading fails and the answer says why.
void copyWithinLimit(pappl_client_t* client, pappl_job_t* job, void (*copy)(pappl_client_t*, pappl_job_t*));

// The status and message of an answer PAPPL gives after a document went past the limit (it
// would say "Unable to read print file."): true when that is so.
bool documentTooLarge(ipp_status_t& status, const char*& message);

// Ends held jobs of clients without a login whose hold has no end and is older than hold-expiry.
void watchHolds(pappl_system_t* system);
