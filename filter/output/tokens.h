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
#if defined(__SSE2__) && !defined(KORVI_PLAIN_ENCODER)
#include <emmintrin.h>
#endif

constexpr size_t kMaxTokenBytes = 127;  // rule 3

// Rule 2: three equal bytes start at line position p (which has two bytes after it).
inline bool startsRun(const unsigned char* b, size_t p)
{
    return b[p] == b[p + 1] && b[p] == b[p + 2];
}

// Inverts the n bytes at `in` into `out`, for n a fixed 8 or 16: one vector operation where the
// build has SSE2 (the plain-encoder build keeps to portable C++).
template <size_t n>
inline void invertBytes(unsigned char* out, const unsigned char* in)
{
#if defined(__SSE2__) && !defined(KORVI_PLAIN_ENCODER)
    if constexpr (n == 16) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_xor_si128(bytes, _mm_set1_epi8(-1)));
        return;
    }
#endif
    for (size_t k = 0; k < n; ++k)
        out[k] = static_cast<unsigned char>(~in[k]);
}

// Rule 1: a literal token of the n (1..127) bytes at `bytes`; returns the end of what it wrote.
// Reads and writes nothing beyond the token: 16 bytes inverted at a time, the last 16 (or 8)
// overlapping the ones before. Inline, as both encoder paths write literals in their inner loops.
inline unsigned char* putLiteral(unsigned char* out, const unsigned char* bytes, size_t n)
{
    *out++ = static_cast<unsigned char>(n - 1);
    if (n < 8) {
        for (size_t i = 0; i < n; ++i)
            out[i] = static_cast<unsigned char>(~bytes[i]);
    } else if (n < 16) {
        invertBytes<8>(out, bytes);
        invertBytes<8>(out + n - 8, bytes + n - 8);
    } else {
        for (size_t i = 0; i + 16 < n; i += 16)
            invertBytes<16>(out + i, bytes + i);
        invertBytes<16>(out + n - 16, bytes + n - 16);
    }
    return out + n;
}

// Writes the one token that starts at line position p of a trimmed line of `trimmed` bytes, as
// the rules choose it (run or literal, its length, the end-of-line rules), and advances out past
// it. Returns the number of line bytes the token stands for.
size_t putToken(const unsigned char* line, size_t p, size_t trimmed, unsigned char*& out);

// Length of the line without its trailing white (0xFF) bytes.
size_t trimmedLength(const unsigned char* line, size_t length);
