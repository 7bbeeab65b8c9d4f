// The line encoder's SSE2 path (x86-64). Instead of scanning token by token, it first marks, for
// the whole line, where tokens begin, 64 line positions to a word:
//   E (equal):    bit i set when b[i] == b[i+1]
//   run starts:   three equal bytes begin at i, and b[i-1] differs: the first byte of a run
//   after runs:   b[i-1] ends a chain of three or more equal bytes (and b[i] differs)
// Between two consecutive marks there is exactly one token: a run when three equal bytes start
// it, else a literal (a literal never starts a run of three, so it ends at the next run start).
// So tokens come from count-trailing-zeros and clear-lowest-bit on the mark words. The token
// rules (numbered in tokens.h) are applied where they bite, with the rules' own code (putToken,
// putLiteral): tokens over 127 bytes (rule 3), the bytes a run leaves over when it is cut at 127,
// and the line's last bytes (rules 4 and 5). It takes lines of kVectorMinBytes or more; the
// dispatcher gives shorter ones to the plain path.
#include "output/encoder.h"

#ifdef KORVI_SSE2_ENCODER

#include <emmintrin.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

// Words of line positions, with one to spare for the mark at the line's end.
constexpr size_t kMaskWords = kMaxEncodedLineBytes / 64 + 2;

uint64_t tokenStarts[kMaskWords];

// E for the 16 positions from `at`: bit k set when at[k] == at[k+1].
uint64_t equal16(const unsigned char* at)
{
    __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 1));
    return static_cast<uint64_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(here, next)));
}

// E for positions 64w to 64w+63 of a line with `pairs` positions that have a right neighbour
// (pairs >= 16). Bits from `pairs` on are 0. The last window of a line is moved back so that it
// ends at the line's last byte: nothing past the trimmed line is read.
uint64_t equalWord(const unsigned char* b, size_t w, size_t pairs)
{
    const size_t i = 64 * w;
    if (i + 64 <= pairs)
        return equal16(b + i) | equal16(b + i + 16) << 16 | equal16(b + i + 32) << 32 | equal16(b + i + 48) << 48;
    uint64_t e = 0;
    for (size_t at = i; at < pairs && at < i + 64; at += 16) {
        uint64_t bits = at + 16 <= pairs ? equal16(b + at) : equal16(b + pairs - 16) >> (at - (pairs - 16));
        e |= bits << (at - i);
    }
    return e;
}

// Marks every token start of the trimmed line; position `trimmed` is marked too, so every
// search for the next mark ends there.
void markTokenStarts(const unsigned char* b, size_t trimmed)
{
    const size_t pairs = trimmed - 1;
    const size_t words = trimmed / 64 + 1;
    uint64_t before = 0;
    uint64_t e = equalWord(b, 0, pairs);
    for (size_t w = 0; w < words; ++w) {
        const uint64_t after = 64 * (w + 1) < pairs ? equalWord(b, w + 1, pairs) : 0;
        const uint64_t three = e & ((e >> 1) | (after << 63));  // b[i] = b[i+1] = b[i+2]
        const uint64_t e1 = (e << 1) | (before >> 63);          // b[i-1] = b[i]
        const uint64_t e2 = (e << 2) | (before >> 62);          // b[i-2] = b[i-1]
        const uint64_t e3 = (e << 3) | (before >> 61);          // b[i-3] = b[i-2]
        tokenStarts[w] = (three & ~e1) | (~e1 & e2 & e3);
        before = e;
        e = after;
    }
    tokenStarts[0] |= 1;
    tokenStarts[trimmed / 64] |= uint64_t(1) << (trimmed % 64);
}

bool isTokenStart(size_t p)
{
    return (tokenStarts[p / 64] >> (p % 64)) & 1;
}

void store16Inverted(unsigned char* out, const unsigned char* in)
{
    __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_xor_si128(bytes, _mm_set1_epi8(-1)));
}

// The literal tokens of b[p] to b[end - 1], cut at 127 bytes (rule 3).
unsigned char* putLiterals(unsigned char* out, const unsigned char* b, size_t p, size_t end)
{
    for (; end - p > kMaxTokenBytes; p += kMaxTokenBytes)
        out = putLiteral(out, b + p, kMaxTokenBytes);
    return putLiteral(out, b + p, end - p);
}

// The tokens of the stretch from token start p to the next token start `end`, which lies at
// least three bytes before the line's end (so no end-of-line rule applies). Returns where the
// next token starts: `end`, or earlier when a run longer than 127 bytes (rule 3) leaves one or
// two bytes over, which begin a literal.
size_t putStretch(const unsigned char* b, size_t p, size_t end, unsigned char*& out)
{
    if (!startsRun(b, p)) {
        out = putLiterals(out, b, p, end);
        return end;
    }
    size_t n = end - p;
    for (; n >= 3; n -= std::min(n, kMaxTokenBytes)) {  // rule 1: count byte, one data byte
        out[0] = static_cast<unsigned char>(257 - std::min(n, kMaxTokenBytes));
        out[1] = static_cast<unsigned char>(~b[p]);
        out += 2;
    }
    return end - n;
}

// The tokens from token start p on, as the marks give them. Returns where it stopped: the line's
// end, a run's leftover, or a run that reaches into the line's last three bytes; the rules' own
// code takes it from there. `later` holds the marks after p not yet used, from word w on: each
// turn takes the lowest as the next token start, writes the token from p to it and clears it.
size_t putMarkedTokens(const unsigned char* b, size_t p, size_t trimmed, unsigned char*& out)
{
    const size_t lastMarked = trimmed - 3;  // stretches ending here or before need no end rule
    const size_t quick = trimmed - 32;      // from here on, 32-byte loads would leave the line
    size_t w = p / 64;
    uint64_t later = tokenStarts[w] & ~((uint64_t(2) << (p % 64)) - 1);
    for (;;) {
        while (later == 0)
            later = tokenStarts[++w];
        const size_t next = w * 64 + size_t(__builtin_ctzll(later));
        if (next > lastMarked)
            break;
        const size_t n = next - p;
        const bool run = startsRun(b, p);
        if (p <= quick && (n <= 32 || (run && n <= kMaxTokenBytes))) {
            // The common token, without a branch on its kind: the count byte, then 32 inverted
            // bytes, of which a run keeps one and a literal n.
            out[0] = static_cast<unsigned char>(run ? 257 - n : n - 1);
            store16Inverted(out + 1, b + p);
            store16Inverted(out + 17, b + p + 16);
            out += run ? 2 : n + 1;
            p = next;
        } else {
            p = putStretch(b, p, next, out);
            if (p != next)
                return p;
        }
        later &= later - 1;
    }
    // The last stretch. A literal runs to two bytes before the end, and those two bytes make
    // the last token (rule 5; no run of three starts within the stretch, so none can stop it
    // earlier).
    if (p + 2 >= trimmed || startsRun(b, p))
        return p;
    out = putLiterals(out, b, p, trimmed - 2);
    out = putLiteral(out, b + trimmed - 2, 2);
    return trimmed;
}

}  // namespace

size_t encodePayloadSse2(const unsigned char* b, size_t trimmed, unsigned char* out)
{
    markTokenStarts(b, trimmed);
    unsigned char* const start = out;
    // Re-entry: the marked tokens go as far as the marks are the whole truth. Where they stop
    // (a run's leftover after a cut at 127, or the line's last bytes), the rules' own putToken
    // writes one token at a time until the next mark, where the marked tokens take over again.
    size_t p = 0;
    while (p < trimmed) {
        if (isTokenStart(p))
            p = putMarkedTokens(b, p, trimmed, out);
        if (p < trimmed)
            p += putToken(b, p, trimmed, out);
    }
    return static_cast<size_t>(out - start);
}

#endif
