// The virtual printer: korvidecode listening on a TCP port as a network printer's raw port does.
#pragma once

#include <cstdint>
#include <string>

struct ListenOptions {
    std::string address = "127.0.0.1";  // loopback unless an address is given
    uint16_t port = 9100;
    std::string outputDir;
    uint64_t maxJobBytes = uint64_t(256) << 20;  // the rest of a larger job is discarded
    int idleSeconds = 60;                         // a client silent this long is let go
};

// Parses "[ADDRESS:]PORT" into the options; false when it is not one.
bool parseListenAddress(const std::string& text, ListenOptions& options);

// Serves print jobs one connection at a time until SIGINT or SIGTERM. The output folder is made
// if missing; jobs are numbered on after the highest job number already in it. For job N it writes
// DIR/job-N.prn as the bytes arrive, then DIR/job-N.txt (the listing) and DIR/job-N-P.png per
// page, and prints one line on standard output. Returns the exit status: 0 after a signal, 2
// when the port cannot be had or the folder cannot be made or written.
int serveJobs(const ListenOptions& options);
