// Decoder of line frame payloads: run-length tokens with inverted data bytes, back into the
// raster line they encode (set bit white, the white right-hand end left off).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct PayloadFault {
    size_t offset = 0;   // offset within the payload of the token at fault
    std::string what;    // what was wrong, in words
};

// Appends the decoded line bytes to `line`. Returns false at the first token that the encoder
// never produces or that runs past the payload's end; `fault` then says where and why, and
// `line` holds what was decoded before it.
bool decodePayload(const uint8_t* payload, size_t size, std::vector<uint8_t>& line,
                   PayloadFault* fault = nullptr);
