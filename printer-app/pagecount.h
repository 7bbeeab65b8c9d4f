// Counts the pages of a printer stream as it passes on its way to the printer: each end-page
// command that has gone through is a page sent.
#pragma once

#include <cstddef>
#include <cstdint>

#include "printercommands.h"

// Bytes in front of the first page: the init command and the settings block.
constexpr uint64_t kStreamHeadBytes = sizeof korvi::kInitCmd + korvi::kSettingsBlockSize;

struct PageCounter {
    uint64_t skip = kStreamHeadBytes;  // bytes still to pass before the next command
    uint8_t streamHead[kStreamHeadBytes] = {};  // the init command and settings as they passed
    size_t streamHeadSize = 0;
    unsigned copies = 1;    // the settings' copy count: the printer prints each page this often
    uint8_t head[korvi::kLineFrameHeaderSize] = {};  // the command being read (a frame header at most)
    size_t headSize = 0;
    unsigned pages = 0;     // end-page commands seen
    unsigned started = 0;   // start-page commands seen
};

// Takes the next bytes of the stream; returns how many pages they ended (each prints `copies` times).
unsigned countPages(PageCounter& counter, const uint8_t* bytes, size_t size);
