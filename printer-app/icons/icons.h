// The Printer Application's icon (a monochrome laser printer) as PNG files of 48, 128 and 512
// pixels, drawn at build time by draw_icons.py.
#pragma once

#include <cstddef>

struct KorviIcon {
    const unsigned char* data;
    size_t size;
};

extern const KorviIcon kKorviIcons[3];
