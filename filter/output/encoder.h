// Raster line encoder: one raster line into one line frame of run-length tokens.
#pragma once

#include <cstddef>
#include <cstdint>

#include "output/tokens.h"

// The longest line the encoder takes: its worst-case payload, 65,535 bytes, still fits the
// frame's 16-bit length field. Longer lines are clipped to it.
constexpr uint32_t kMaxEncodedLineBytes = 65022;

// Worst-case payload size of a trimmed line of the given length.
constexpr size_t maxPayloadSize(size_t trimmed)
{
    return trimmed < 3 ? trimmed + (trimmed > 0) : trimmed + (trimmed - 3) / 127 + 2;
}

// The vector path stores 32 bytes at a time and may write up to kPayloadSlack - 1 bytes past the
// payload; it takes lines of kVectorMinBytes or more (shorter ones go the plain way).
constexpr size_t kPayloadSlack = 32;
constexpr size_t kVectorMinBytes = 64;

// Room the output of encodeLinePayload needs for a trimmed line of the given length. It is never
// more than 2 * trimmed + 2, so a page's encoder buffer always has it.
constexpr size_t payloadRoom(size_t trimmed)
{
    return maxPayloadSize(trimmed) + (trimmed >= kVectorMinBytes ? kPayloadSlack : 0);
}

// Encodes the first `trimmed` bytes of the line into `out` (room for payloadRoom(trimmed) bytes)
// and returns the payload size. Every data byte is inverted, so black travels as set bits. Uses
// the fastest path this build has; every path gives the same bytes.
size_t encodeLinePayload(const unsigned char* line, size_t trimmed, unsigned char* out);

// The paths, for tests and benchmarks. The plain path is portable C++ and writes exactly the
// payload (room for maxPayloadSize(trimmed)); the SSE2 path takes lines of kVectorMinBytes or
// more and needs payloadRoom(trimmed).
size_t encodePayloadPlain(const unsigned char* line, size_t trimmed, unsigned char* out);
#if defined(__SSE2__) && !defined(KORVI_PLAIN_ENCODER)
#define KORVI_SSE2_ENCODER 1
size_t encodePayloadSse2(const unsigned char* line, size_t trimmed, unsigned char* out);
#endif

// Encodes one line into szCompressBuf (which holds at least 2 * length + 2 bytes, as a page's
// buffer does) and writes its frame (header, then payload) to standard output, then flushes.
// method is always 3. Returns the flush's result.
int CompressDataAndSend(const unsigned char* line, uint32_t length, int method);
