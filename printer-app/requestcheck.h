// What a request must be before the server acts on it: text without control characters (PAPPL
// writes names and texts into its state file line by line, unescaped), a Host header naming this
// server (a page rebound to its address by DNS must not reach it), and a form sent from its own
// pages.
#pragma once

#include <cups/cups.h>

#include <string>
#include <vector>

// True when `text` holds no control character (below 0x20, or DEL).
bool plainText(const char* text);

// The first attribute of `ipp` (collections included) whose name or a string value holds a
// control character or is longer than IPP allows (1023 bytes for text and URIs, 255 for the
// rest); "" when there is none.
std::string firstUnsafeAttribute(ipp_t* ipp);

// The host of a Host header's value ("name:port", "[v6]:port"), lower case, without a final dot.
std::string hostOfField(const char* field);

// True when `host` (hostOfField's form) names this server: a literal address, "localhost", or one
// of `names` (compared without case and without a final dot).
bool ownHost(const std::string& host, const std::vector<std::string>& names);

// True when a browser's form came from the page of `hostField` (the request's Host header): its
// Origin, or else its Referer, is http(s)://HOSTFIELD; a request that has neither (not a browser)
// passes.
bool sameOrigin(const char* origin, const char* referer, const char* hostField);
