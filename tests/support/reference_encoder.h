// Test toolkit: the line encoder's token rules (numbered in filter/output/tokens.h) written out
// plainly, one byte at a time and on their own, as a reference for the filter's encoder paths.
// They must all give the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

inline std::vector<uint8_t> referencePayload(const uint8_t* b, size_t t)
{
    std::vector<uint8_t> out;
    size_t p = 0;
    while (p < t) {
        size_t r = t - p;
        if (r >= 3 && b[p] == b[p + 1] && b[p] == b[p + 2]) {  // rule 2: a run starts
            size_t n = 3;  // rule 4: three or four equal bytes at the end give a run of three
            if (r > 4 && b[p + 3] == b[p]) {
                size_t e = p + 3;
                while (e != t - 2 && b[e + 1] == b[e] && e != p + 126)  // rules 4 and 3
                    ++e;
                n = e - p + 1;
            }
            out.push_back(uint8_t(257 - n));  // rule 1
            out.push_back(uint8_t(~b[p]));
            p += n;
            continue;
        }
        size_t n = r >= 3 ? 1 : r;  // rule 5: the last one or two bytes are one literal
        if (r > 3) {
            // Rules 2, 3 and 5: up to the next run start, 127 bytes, or the last two bytes.
            for (size_t q = p + 1; !(b[q] == b[q + 1] && b[q] == b[q + 2]) && n != 127; ++q) {
                ++n;
                if (q == t - 3)
                    break;
            }
        }
        out.push_back(uint8_t(n - 1));
        for (size_t i = 0; i < n; ++i)
            out.push_back(uint8_t(~b[p + i]));
        p += n;
    }
    return out;
}
