// Counts the pages of a printer stream as it passes on its way to the printer: each end-page
// command that has gone through is a page sent.
#pragma once

#include <cstddef>
#include <cstdint>

struct PageCounter {
    uint64_t skip = 55;     // bytes still to pass before the next command (init and settings first)
    uint8_t head[6] = {};   // the command being read
    size_t headSize = 0;
    unsigned pages = 0;     // end-page commands seen
};

// Takes the next bytes of the stream; returns how many pages they ended.
unsigned countPages(PageCounter& counter, const uint8_t* bytes, size_t size);
