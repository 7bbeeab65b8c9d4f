// The printer's command templates. Each is a complete command with its default bytes; the few
// variable bytes (marked below) are patched in place once per job by the job settings, and a
// command is always sent whole, at its fixed length.
#pragma once

#include <cstdint>

extern unsigned char szInitCmd[12];            // ESC "&B" ESC "%-98765X": job start
extern unsigned char szStartPageCmd[9];        // ESC "$A" ESC "!A" 00 00 00: page start
extern unsigned char szEndPageCmd[3];          // ESC "$B": page end
extern unsigned char szBlankLineCmd[5];        // ESC "*B" 01 00: one blank raster line
extern unsigned char szPaperWeightCmd[5];      // byte 4: 0x10 + paper weight
extern unsigned char szDarknessCmd[5];         // byte 4: 0x10 + print density
extern unsigned char szRenderTypeCmd[5];
extern unsigned char szInputBinCmd[6];
extern unsigned char szPaperSizeSelfdefCmd[8]; // bytes 2-3 width, 6-7 height, dots, LE
extern unsigned char szResolutionCmd[7];
extern unsigned char szPrintNumCopiesCmd[7];   // bytes 3-4 copies, 5-6 CRC of bytes 0-4, LE

// Length of the header in front of every encoded raster line.
constexpr int kLineFrameHeaderSize = 6;

// Fills a line frame header: ESC "*A" 0x02, then the payload size as 16-bit little-endian.
void buildLineFrameHeader(unsigned char header[kLineFrameHeaderSize], uint16_t payloadSize);
