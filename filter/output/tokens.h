// The encoder's token rules, one token at a time: the exact choices every encoder path must make.
#pragma once

#include <cstddef>

// Writes the one token that starts at line position p of a trimmed line of `trimmed` bytes, as
// the rules choose it (run or literal, its length, the end-of-line rules), and advances out past
// it. Returns the number of line bytes the token stands for.
size_t putToken(const unsigned char* line, size_t p, size_t trimmed, unsigned char*& out);

// Length of the line without its trailing white (0xFF) bytes.
size_t trimmedLength(const unsigned char* line, size_t length);
