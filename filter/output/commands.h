// The printer's command templates. Each is a complete command; the few variable bytes (marked
// below) are patched in place once per job by the job settings, and a command is always sent
// whole, at its fixed length. resetCommandTemplates() gives every job the default bytes again.
#pragma once

#include <cstdint>

#include "printercommands.h"

// Fixed commands: the printer's bytes as they stand.
inline constexpr const auto& szInitCmd = korvi::kInitCmd;          // ESC "&B" ESC "%-98765X": job start
inline constexpr const auto& szStartPageCmd = korvi::kStartPageCmd;  // ESC "$A" ESC "!A" 00 00 00: page start
inline constexpr const auto& szEndPageCmd = korvi::kEndPageCmd;      // ESC "$B": page end
inline constexpr const auto& szBlankLineCmd = korvi::kBlankLineCmd;  // ESC "*B" 01 00: one blank raster line
inline constexpr const auto& szRenderTypeCmd = korvi::kRenderTypeCmd;
inline constexpr const auto& szInputBinCmd = korvi::kInputBinCmd;
inline constexpr const auto& szResolutionCmd = korvi::kResolutionCmd;

// Templates the job settings patch.
extern unsigned char szPaperWeightCmd[5];      // 1C 16 01 42 vv
extern unsigned char szDarknessCmd[5];         // 1C 16 02 42 vv
extern unsigned char szPaperSizeSelfdefCmd[8]; // ESC "x" width ESC "y" height
extern unsigned char szPrintNumCopiesCmd[7];   // ESC "&l" copies CRC

// Where the settings' variable bytes stand in their templates. 16-bit numbers are little-endian:
// the low byte at the offset, the high byte after it.
constexpr int kPaperWeightAt = 4;    // szPaperWeightCmd: 0x10 + paper weight
constexpr int kDarknessAt = 4;       // szDarknessCmd: 0x10 + print density
constexpr int kPaperWidthAt = 2;     // szPaperSizeSelfdefCmd: paper width in dots
constexpr int kPaperHeightAt = 6;    // szPaperSizeSelfdefCmd: paper height in dots
constexpr int kCopiesAt = 3;         // szPrintNumCopiesCmd: copy count
constexpr int kCopiesCrcAt = 5;      // szPrintNumCopiesCmd: CRC of the bytes before it

// Length of the header in front of every encoded raster line.
constexpr int kLineFrameHeaderSize = int(korvi::kLineFrameHeaderSize);

// Puts the default bytes back into the templates the settings patch. Each job starts with it,
// so nothing of one job's settings can reach the next.
void resetCommandTemplates();

// Fills a line frame header: ESC "*A" 0x02, then the payload size as 16-bit little-endian.
void buildLineFrameHeader(unsigned char header[kLineFrameHeaderSize], uint16_t payloadSize);
