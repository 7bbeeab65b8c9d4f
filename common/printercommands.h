// The printer's commands as constants: the fixed ones byte for byte, and the settings commands
// with their default bytes. The filter's command templates start from these for every job; the
// Printer Application counts pages and recognises the printer's own format with them.
#pragma once

#include <cstddef>

namespace korvi {

inline constexpr unsigned char kInitCmd[12] = {0x1B, 0x26, 0x42, 0x1B, 0x25, 0x2D,
                                               0x39, 0x38, 0x37, 0x36, 0x35, 0x58};  // ESC "&B" ESC "%-98765X"
inline constexpr unsigned char kStartPageCmd[9] = {0x1B, 0x24, 0x41, 0x1B, 0x21, 0x41, 0x00, 0x00, 0x00};
inline constexpr unsigned char kEndPageCmd[3] = {0x1B, 0x24, 0x42};
inline constexpr unsigned char kBlankLineCmd[5] = {0x1B, 0x2A, 0x42, 0x01, 0x00};

// The settings block, in the order it is sent; paper weight, darkness, paper size and copies at
// their defaults (plain paper, normal density, A4, one copy).
inline constexpr unsigned char kPaperWeightCmd[5] = {0x1C, 0x16, 0x01, 0x42, 0x11};
inline constexpr unsigned char kDarknessCmd[5] = {0x1C, 0x16, 0x02, 0x42, 0x12};
inline constexpr unsigned char kRenderTypeCmd[5] = {0x1C, 0x16, 0x03, 0x42, 0x10};
inline constexpr unsigned char kInputBinCmd[6] = {0x1B, 0x26, 0x41, 0x01, 0x00, 0x01};
inline constexpr unsigned char kPaperSizeSelfdefCmd[8] = {0x1B, 0x78, 0x60, 0x13, 0x1B, 0x79, 0x68, 0x1B};
inline constexpr unsigned char kResolutionCmd[7] = {0x1B, 0x26, 0x41, 0x03, 0x00, 0x00, 0x00};
inline constexpr unsigned char kPrintNumCopiesCmd[7] = {0x1B, 0x26, 0x6C, 0x01, 0x00, 0x49, 0x25};

inline constexpr size_t kSettingsBlockSize = sizeof kPaperWeightCmd + sizeof kDarknessCmd + sizeof kRenderTypeCmd +
                                             sizeof kInputBinCmd + sizeof kPaperSizeSelfdefCmd +
                                             sizeof kResolutionCmd + sizeof kPrintNumCopiesCmd;

// Length of the header in front of every encoded raster line: ESC "*A" 0x02, payload size.
inline constexpr size_t kLineFrameHeaderSize = 6;

}  // namespace korvi
