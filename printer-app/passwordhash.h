// Hashes of the web password: new ones yescrypt (as /etc/shadow keeps passwords, by Debian's
// libcrypt), and the form PAPPL wrote before ("NONCE~SHA256(NONCE:password)"), still checked.
#pragma once

#include <string>

// True when `a` and `b` are equal, in a time that depends on their lengths alone.
bool equalInConstantTime(const std::string& a, const std::string& b);

// SHA-256 of `text`, as 64 lower-case hex digits (libcups's).
std::string sha256Hex(const std::string& text);

// A new yescrypt hash of `password` with a random salt; "" when libcrypt cannot make one.
std::string newPasswordHash(const char* password);

// True when `password` is the one `stored` was made from (either form), comparing whole hashes.
bool passwordMatches(const std::string& stored, const char* password);
