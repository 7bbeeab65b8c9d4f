// Raster line encoder: one raster line into one line frame of run-length tokens.
#pragma once

#include <cstddef>
#include <cstdint>

// The longest line the encoder takes: its worst-case payload, 65,535 bytes, still fits the
// frame's 16-bit length field. Longer lines are clipped to it.
constexpr uint32_t kMaxEncodedLineBytes = 65022;

// Worst-case payload size of a trimmed line of the given length.
constexpr size_t maxPayloadSize(size_t trimmed)
{
    return trimmed < 3 ? trimmed + (trimmed > 0) : trimmed + (trimmed - 3) / 127 + 2;
}

// Length of the line without its trailing white (0xFF) bytes.
size_t trimmedLength(const unsigned char* line, size_t length);

// Encodes the first `trimmed` bytes of the line into `out` (room for maxPayloadSize(trimmed)
// bytes); returns the payload size. Every data byte is inverted, so black travels as set bits.
size_t encodeLinePayload(const unsigned char* line, size_t trimmed, unsigned char* out);

// Encodes one line into szCompressBuf and writes its frame (header, then payload) to standard
// output, then flushes. method is always 3. Returns the flush's result.
int CompressDataAndSend(const unsigned char* line, uint32_t length, int method);
