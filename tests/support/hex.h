// Test toolkit: byte sequences written as hexadecimal text.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

// "1B 2A 41" -> {0x1B, 0x2A, 0x41}
inline std::vector<uint8_t> hex(const std::string& text)
{
    std::vector<uint8_t> bytes;
    std::istringstream in(text);
    std::string word;
    while (in >> word)
        bytes.push_back(static_cast<uint8_t>(strtoul(word.c_str(), nullptr, 16)));
    return bytes;
}

// n copies of one byte.
inline std::vector<uint8_t> rep(uint8_t byte, size_t n)
{
    return std::vector<uint8_t>(n, byte);
}

// {0x1B, 0x2A} -> "1B 2A", for readable failure messages.
inline std::string toHex(const std::vector<uint8_t>& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (uint8_t b : bytes) {
        if (!text.empty())
            text += ' ';
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}
