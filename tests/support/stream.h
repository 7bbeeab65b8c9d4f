// Test toolkit: the printer commands written out by hand, to build expected streams.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

using Bytes = std::vector<uint8_t>;

const Bytes kInit = {0x1B, 0x26, 0x42, 0x1B, 0x25, 0x2D, 0x39, 0x38, 0x37, 0x36, 0x35, 0x58};
const Bytes kStartPage = {0x1B, 0x24, 0x41, 0x1B, 0x21, 0x41, 0x00, 0x00, 0x00};
const Bytes kEndPage = {0x1B, 0x24, 0x42};
const Bytes kBlankLine = {0x1B, 0x2A, 0x42, 0x01, 0x00};

// Concatenates byte sequences.
inline Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// n copies of a byte sequence.
inline Bytes times(const Bytes& part, size_t n)
{
    Bytes all;
    for (size_t i = 0; i < n; ++i)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// A line frame around a payload.
inline Bytes frame(const Bytes& payload)
{
    Bytes f = {0x1B, 0x2A, 0x41, 0x02, static_cast<uint8_t>(payload.size() & 0xFF),
               static_cast<uint8_t>(payload.size() >> 8)};
    f.insert(f.end(), payload.begin(), payload.end());
    return f;
}

// The 43-byte settings block for the given setting bytes, paper in dots and copy count.
Bytes settingsBlock(uint8_t weightByte, uint8_t densityByte, uint16_t paperWidth, uint16_t paperHeight,
                    uint16_t copies = 1);

// The settings block the filter sends for the plain test PPD and an A4 page of one copy.
Bytes defaultA4Settings();
