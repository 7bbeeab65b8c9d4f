// Human-readable listing of a parsed printer stream.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "stream.h"

// Name of a paper the printer knows by its size in dots ("A4", "A5 landscape"), or "".
std::string paperName(uint32_t widthDots, uint32_t heightDots);

// Prints the settings and a summary per page; with verbose, every command with its offset.
void printListing(const Stream& stream, const std::string& source, bool verbose, FILE* out);
