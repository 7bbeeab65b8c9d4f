// The token rules of tokens.h, one token at a time: the plain encoder path, and what the vector
// path falls back on where the rules' limits bite.
#include "output/tokens.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

constexpr uint64_t kOnes = 0x0101010101010101ULL;
constexpr uint64_t kHighBits = 0x8080808080808080ULL;

// Eight line bytes as one word, the first byte in the lowest bits. The scans below test eight
// positions at once this way; they give the same answers as testing byte by byte.
uint64_t load8(const unsigned char* b)
{
    uint64_t word;
    memcpy(&word, b, sizeof word);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    word = __builtin_bswap64(word);
#endif
    return word;
}

// Non-zero when the word has a zero byte; its lowest set bit then lies in the lowest zero byte.
uint64_t zeroBytes(uint64_t word)
{
    return (word - kOnes) & ~word & kHighBits;
}

// First position q in [from, limit) where three equal bytes b[q..q+2] start (rule 2); limit if none.
// Reads up to b[limit + 1].
size_t firstRunStart(const unsigned char* b, size_t from, size_t limit)
{
    size_t q = from;
    for (; q + 8 <= limit; q += 8) {
        uint64_t x = load8(b + q), y = load8(b + q + 1), z = load8(b + q + 2);
        uint64_t differ = (x ^ y) | (y ^ z);  // a zero byte where a run of three starts
        if (uint64_t zeros = zeroBytes(differ))
            return q + size_t(__builtin_ctzll(zeros)) / 8;
    }
    for (; q < limit; ++q)
        if (startsRun(b, q))
            return q;
    return limit;
}

// First position in [from, limit) whose byte is not v; limit if none.
size_t firstDifferent(const unsigned char* b, size_t from, size_t limit, unsigned char v)
{
    const uint64_t all = kOnes * v;
    size_t i = from;
    for (; i + 8 <= limit; i += 8) {
        uint64_t differ = load8(b + i) ^ all;
        if (differ != 0)
            return i + size_t(__builtin_ctzll(differ)) / 8;
    }
    while (i < limit && b[i] == v)
        ++i;
    return i;
}

// Length of the run of equal bytes starting at p, where b[p..p+2] are equal: to the first
// different byte, at most 127 bytes (rule 3), never the trimmed line's last byte (rule 4).
size_t runLength(const unsigned char* b, size_t p, size_t end)
{
    if (end - p <= 4)
        return 3;
    return firstDifferent(b, p + 3, std::min(end - 1, p + kMaxTokenBytes), b[p]) - p;
}

// Length of the literal starting at p, where at least three bytes remain: to the next run start
// (rule 2), at most 127 bytes (rule 3), never the line's last two bytes (rule 5).
size_t literalLength(const unsigned char* b, size_t p, size_t end)
{
    return firstRunStart(b, p + 1, std::min(p + kMaxTokenBytes, end - 2)) - p;
}

}  // namespace

size_t trimmedLength(const unsigned char* line, size_t length)
{
    // White ends are long (a ragged right edge, the right margin): 32 bytes a test, then finer.
    while (length >= 32 && (load8(line + length - 8) & load8(line + length - 16) & load8(line + length - 24) &
                            load8(line + length - 32)) == ~uint64_t(0))
        length -= 32;
    while (length >= 8 && load8(line + length - 8) == ~uint64_t(0))
        length -= 8;
    while (length > 0 && line[length - 1] == 0xFF)
        --length;
    return length;
}

size_t putToken(const unsigned char* b, size_t p, size_t trimmed, unsigned char*& out)
{
    size_t remaining = trimmed - p;
    if (remaining >= 3 && startsRun(b, p)) {  // rule 2
        size_t n = runLength(b, p, trimmed);
        *out++ = static_cast<unsigned char>(257 - n);
        *out++ = static_cast<unsigned char>(~b[p]);
        return n;
    }
    // Rule 5: the last one or two bytes always go out as one literal, equal or not.
    size_t n = remaining >= 3 ? literalLength(b, p, trimmed) : remaining;
    out = putLiteral(out, b + p, n);
    return n;
}
