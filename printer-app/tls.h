// Where the server keeps its TLS certificate and key (for ipps and https).
#pragma once

#include <string>

// libcups puts root's in /etc/cups/ssl: the host CUPS's own folder, and read-only under the
// systemd unit, so that ipps and https would fail there. Root's server keeps them in `dir`.
void keepCredentialsIn(const std::string& dir);
