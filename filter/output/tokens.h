// The encoder's token rules, stated once; every encoder path (and the tests' byte-by-byte
// reference) makes exactly these choices and cites them by number:
//  1. A token is a count byte and data, every data byte inverted: a count byte k of 0..126 is
//     followed by k + 1 literal bytes; a count byte k of 0x82..0xFE by one byte that stands for
//     257 - k (3..127) equal bytes (a run).
//  2. A run starts wherever three equal bytes start (startsRun). A literal ends where the next
//     run starts, so it never holds the start of a run.
//  3. No token stands for more than 127 bytes (kMaxTokenBytes): longer stretches are cut.
//  4. A run never takes the trimmed line's last byte, except that three or four equal bytes left
//     at the end make a run of three.
//  5. A literal that starts with three or more bytes left stops at the line's last two bytes;
//     the last one or two bytes always go out as one literal, equal or not.
// These choices are what the printer has always been sent; keep them.
#pragma once

#include <cstddef>

constexpr size_t kMaxTokenBytes = 127;  // rule 3

// Rule 2: three equal bytes start at line position p (which has two bytes after it).
inline bool startsRun(const unsigned char* b, size_t p)
{
    return b[p] == b[p + 1] && b[p] == b[p + 2];
}

// Rule 1: a literal token of the n (1..127) bytes at `bytes`; returns the end of what it wrote.
// Reads and writes nothing beyond the token.
unsigned char* putLiteral(unsigned char* out, const unsigned char* bytes, size_t n);

// Writes the one token that starts at line position p of a trimmed line of `trimmed` bytes, as
// the rules choose it (run or literal, its length, the end-of-line rules), and advances out past
// it. Returns the number of line bytes the token stands for.
size_t putToken(const unsigned char* line, size_t p, size_t trimmed, unsigned char*& out);

// Length of the line without its trailing white (0xFF) bytes.
size_t trimmedLength(const unsigned char* line, size_t length);
