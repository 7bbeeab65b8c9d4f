// Raster lines of a 600-dpi A4 page (4960 pixels, 620 bytes) of the kinds real jobs are made of.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace benchlines {

constexpr size_t kA4LineBytes = 620;

// A line through a line of 10-point text: glyph strokes of a few dark bytes amid white, with a
// white right-hand end where the text stops.
inline std::vector<uint8_t> text()
{
    std::mt19937 rng(42);
    std::vector<uint8_t> line(kA4LineBytes, 0xFF);
    for (size_t x = 60; x < 520;) {
        size_t stroke = 1 + rng() % 3;
        for (size_t i = 0; i < stroke && x < 520; ++i, ++x)
            line[x] = static_cast<uint8_t>(rng() & rng());
        x += 2 + rng() % 6;
    }
    return line;
}

// Dithered grey: no runs at all.
inline std::vector<uint8_t> dithered()
{
    std::vector<uint8_t> line(kA4LineBytes);
    for (size_t x = 0; x < line.size(); ++x)
        line[x] = static_cast<uint8_t>(x % 2 ? 0xAA ^ (x & 0x11) : 0x55 ^ (x & 0x22));
    return line;
}

// A mostly white line: a short rule near the left edge.
inline std::vector<uint8_t> mostlyWhite()
{
    std::vector<uint8_t> line(kA4LineBytes, 0xFF);
    for (size_t x = 60; x < 80; ++x)
        line[x] = 0x00;
    return line;
}

inline std::vector<uint8_t> allBlack()
{
    return std::vector<uint8_t>(kA4LineBytes, 0x00);
}

}  // namespace benchlines
