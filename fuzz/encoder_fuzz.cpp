// Fuzz target: the line encoder. On every path, any line must round-trip through the payload
// decoder to its trimmed self, within the worst-case payload size and the room the path is
// given, and give the tokens that the plain byte-by-byte rules give.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "output/encoder.h"
#include "payload.h"
#include "support/reference_encoder.h"

namespace {

void check(size_t (*encode)(const unsigned char*, size_t, unsigned char*), size_t room, const uint8_t* data,
           size_t trimmed, const std::vector<uint8_t>& expected)
{
    std::vector<uint8_t> payload(room);  // ASan catches a store beyond the room
    size_t n = encode(data, trimmed, payload.data());
    if (n > maxPayloadSize(trimmed))
        abort();
    std::vector<uint8_t> line;
    if (!decodePayload(payload.data(), n, line))
        abort();
    if (line.size() != trimmed || (trimmed > 0 && memcmp(line.data(), data, trimmed) != 0))
        abort();
    payload.resize(n);
    if (payload != expected)
        abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    size_t trimmed = trimmedLength(data, size);
    const std::vector<uint8_t> expected = referencePayload(data, trimmed);
    check(encodePayloadPlain, maxPayloadSize(trimmed), data, trimmed, expected);
#ifdef KORVI_SSE2_ENCODER
    if (trimmed >= kVectorMinBytes)
        check(encodePayloadSse2, payloadRoom(trimmed), data, trimmed, expected);
#endif
    check(encodeLinePayload, payloadRoom(trimmed), data, trimmed, expected);
    return 0;
}
