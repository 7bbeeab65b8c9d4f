// Decoder of line frame payloads.
#include "payload.h"

#include <cstdio>

namespace {

bool fail(PayloadFault* fault, size_t offset, std::string what)
{
    if (fault) {
        fault->offset = offset;
        fault->what = std::move(what);
    }
    return false;
}

}  // namespace

bool decodePayload(const uint8_t* payload, size_t size, std::vector<uint8_t>& line,
                   PayloadFault* fault)
{
    size_t i = 0;
    while (i < size) {
        const uint8_t k = payload[i];
        if (k <= 0x7E) {
            size_t n = size_t(k) + 1;
            if (size - i - 1 < n)
                return fail(fault, i, "literal token of " + std::to_string(n) + " bytes runs past the payload's end");
            for (size_t j = 0; j < n; ++j)
                line.push_back(static_cast<uint8_t>(~payload[i + 1 + j]));
            i += 1 + n;
        } else if (k >= 0x82 && k <= 0xFE) {
            if (size - i - 1 < 1)
                return fail(fault, i, "repeat token has no data byte");
            line.insert(line.end(), 257 - size_t(k), static_cast<uint8_t>(~payload[i + 1]));
            i += 2;
        } else {
            char hex[8];
            snprintf(hex, sizeof hex, "0x%02X", k);
            return fail(fault, i, std::string("count byte ") + hex + " is never produced");
        }
    }
    return true;
}
