// Raster line encoder. A line's white right-hand end is dropped, and the rest is sent as
// PackBits-format tokens: a count byte k of 0..126 is followed by k+1 literal bytes; a count
// byte k of 0x82..0xFE by one byte that stands for 257-k (3..127) equal bytes. Data bytes are
// inverted. The token choices below are what the printer has always been sent; keep them.
#include "output/encoder.h"

#include <cstdio>

#include "jobstate.h"
#include "output/commands.h"
#include "output/output.h"

namespace {

constexpr size_t kMaxTokenBytes = 127;

bool startsRun(const unsigned char* b, size_t p)
{
    return b[p] == b[p + 1] && b[p] == b[p + 2];
}

// Length of the run of equal bytes starting at p, where b[p..p+2] are equal. The run never
// takes the trimmed line's last byte unless exactly three bytes remain, and stops at 127.
size_t runLength(const unsigned char* b, size_t p, size_t end)
{
    if (end - p <= 4 || b[p + 3] != b[p])
        return 3;
    size_t r = p + 3;
    while (r != end - 2 && b[r + 1] == b[r] && r != p + kMaxTokenBytes - 1)
        ++r;
    return r - p + 1;
}

// Length of the literal starting at p, where at least three bytes remain. It stops before the
// next run of three equal bytes, at 127 bytes, and never takes the line's last two bytes.
size_t literalLength(const unsigned char* b, size_t p, size_t end)
{
    if (end - p == 3)
        return 1;
    size_t n = 1;
    for (size_t q = p + 1; !startsRun(b, q) && n != kMaxTokenBytes; ++q) {
        ++n;
        if (q == end - 3)
            break;
    }
    return n;
}

unsigned char* putLiteral(unsigned char* out, const unsigned char* bytes, size_t n)
{
    *out++ = static_cast<unsigned char>(n - 1);
    for (size_t i = 0; i < n; ++i)
        *out++ = static_cast<unsigned char>(~bytes[i]);
    return out;
}

}  // namespace

size_t trimmedLength(const unsigned char* line, size_t length)
{
    while (length > 0 && line[length - 1] == 0xFF)
        --length;
    return length;
}

size_t encodeLinePayload(const unsigned char* b, size_t trimmed, unsigned char* out)
{
    unsigned char* const start = out;
    size_t p = 0;
    while (p < trimmed) {
        size_t remaining = trimmed - p;
        if (remaining >= 3 && startsRun(b, p)) {
            size_t n = runLength(b, p, trimmed);
            *out++ = static_cast<unsigned char>(257 - n);
            *out++ = static_cast<unsigned char>(~b[p]);
            p += n;
        } else if (remaining >= 3) {
            size_t n = literalLength(b, p, trimmed);
            out = putLiteral(out, b + p, n);
            p += n;
        } else {
            // The last one or two bytes always go out as one literal, equal or not.
            out = putLiteral(out, b + p, remaining);
            p = trimmed;
        }
    }
    return static_cast<size_t>(out - start);
}

int CompressDataAndSend(const unsigned char* line, uint32_t length, int /*method*/)
{
    // A longer line would need a payload beyond the frame's 16-bit length field; the printer
    // would then take the rest of the payload for commands.
    if (length > kMaxEncodedLineBytes)
        length = kMaxEncodedLineBytes;
    size_t payload = encodeLinePayload(line, trimmedLength(line, length), szCompressBuf);

    unsigned char header[kLineFrameHeaderSize];
    buildLineFrameHeader(header, static_cast<uint16_t>(payload));
    putCharArray(header, kLineFrameHeaderSize);
    putCharArray(szCompressBuf, static_cast<int32_t>(payload));
    return fflush(stdout);
}
