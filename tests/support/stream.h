// Test toolkit: expected streams built from the filter's own command templates (whose bytes the
// output tests check against the printer's), frames and settings blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <vector>

#include "output/commands.h"

using Bytes = std::vector<uint8_t>;

const Bytes kInit(std::begin(szInitCmd), std::end(szInitCmd));
const Bytes kStartPage(std::begin(szStartPageCmd), std::end(szStartPageCmd));
const Bytes kEndPage(std::begin(szEndPageCmd), std::end(szEndPageCmd));
const Bytes kBlankLine(std::begin(szBlankLineCmd), std::end(szBlankLineCmd));

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
