// Page counter over the printer stream: init and settings, then commands that are ESC and two
// letters: start page, end page, blank line, and line frames (a header whose bytes 4 and 5 are
// the payload's 16-bit length, then the payload). Sizes are the printer's commands'.
#include "pagecount.h"

#include <algorithm>
#include <cstring>

namespace {

// The copy count stands in the settings block's last command: ESC "&l", 16 bits, CRC.
constexpr size_t kCopiesAt = kStreamHeadBytes - sizeof korvi::kPrintNumCopiesCmd + 3;

void keepStreamHead(PageCounter& c, const uint8_t* bytes, size_t n)
{
    memcpy(c.streamHead + c.streamHeadSize, bytes, n);
    c.streamHeadSize += n;
    if (c.streamHeadSize == kStreamHeadBytes) {
        unsigned copies = c.streamHead[kCopiesAt] | unsigned(c.streamHead[kCopiesAt + 1]) << 8;
        c.copies = copies > 0 && copies < 0x8000 ? copies : 1;  // as the filter counts them
    }
}

}  // namespace

unsigned countPages(PageCounter& c, const uint8_t* bytes, size_t size)
{
    unsigned ended = 0;
    for (size_t i = 0; i < size;) {
        if (c.skip > 0) {
            size_t n = size_t(std::min<uint64_t>(c.skip, size - i));
            if (c.streamHeadSize < kStreamHeadBytes)
                keepStreamHead(c, bytes + i, std::min(n, size_t(kStreamHeadBytes) - c.streamHeadSize));
            c.skip -= n;
            i += n;
            continue;
        }
        c.head[c.headSize++] = bytes[i++];
        if (c.headSize < 3)
            continue;
        const uint8_t kind = c.head[1], letter = c.head[2];
        if (c.head[0] == 0x1B && kind == '$' && letter == 'B') {
            ++ended;
        } else if (c.head[0] == 0x1B && kind == '$' && letter == 'A') {
            ++c.started;
            c.skip = sizeof korvi::kStartPageCmd - 3;
        } else if (c.head[0] == 0x1B && kind == '*' && letter == 'B') {
            c.skip = sizeof korvi::kBlankLineCmd - 3;
        } else if (c.head[0] == 0x1B && kind == '*' && letter == 'A') {
            if (c.headSize < korvi::kLineFrameHeaderSize)
                continue;
            c.skip = uint64_t(c.head[4]) | uint64_t(c.head[5]) << 8;
        } else {
            // Not a command the filter writes: look for one from the next byte on.
            memmove(c.head, c.head + 1, --c.headSize);
            continue;
        }
        c.headSize = 0;
    }
    c.pages += ended;
    return ended;
}
