// The command templates the settings patch, their reset to the printer's defaults, and the line
// frame header.
#include "output/commands.h"

#include <cstring>

unsigned char szPaperWeightCmd[5];
unsigned char szDarknessCmd[5];
unsigned char szPaperSizeSelfdefCmd[8];
unsigned char szPrintNumCopiesCmd[7];

namespace {

template <size_t N>
void restore(unsigned char (&command)[N], const unsigned char (&defaults)[N])
{
    memcpy(command, defaults, N);
}

// The templates hold their defaults from the start, before any job resets them.
[[maybe_unused]] const bool gTemplatesFilled = (resetCommandTemplates(), true);

}  // namespace

void resetCommandTemplates()
{
    restore(szPaperWeightCmd, korvi::kPaperWeightCmd);
    restore(szDarknessCmd, korvi::kDarknessCmd);
    restore(szPaperSizeSelfdefCmd, korvi::kPaperSizeSelfdefCmd);
    restore(szPrintNumCopiesCmd, korvi::kPrintNumCopiesCmd);
}

void buildLineFrameHeader(unsigned char header[kLineFrameHeaderSize], uint16_t payloadSize)
{
    // The tag is the little-endian word 0x02412A1B.
    header[0] = 0x1B;
    header[1] = 0x2A;
    header[2] = 0x41;
    header[3] = 0x02;
    header[4] = static_cast<unsigned char>(payloadSize & 0xFF);
    header[5] = static_cast<unsigned char>(payloadSize >> 8);
}
