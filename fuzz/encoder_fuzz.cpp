// Fuzz target: the line encoder. Any line must round-trip through the payload decoder to its
// trimmed self, within the worst-case payload size, and give the tokens that the plain
// byte-by-byte rules give.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "output/encoder.h"
#include "payload.h"
#include "support/reference_encoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    size_t trimmed = trimmedLength(data, size);
    std::vector<uint8_t> payload(maxPayloadSize(trimmed));
    size_t n = encodeLinePayload(data, trimmed, payload.data());
    if (n > maxPayloadSize(trimmed))
        abort();
    std::vector<uint8_t> line;
    if (!decodePayload(payload.data(), n, line))
        abort();
    if (line.size() != trimmed || (trimmed > 0 && memcmp(line.data(), data, trimmed) != 0))
        abort();
    payload.resize(n);
    if (payload != referencePayload(data, trimmed))
        abort();
    return 0;
}
