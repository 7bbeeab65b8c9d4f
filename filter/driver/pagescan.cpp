// Page scan. Each line is read into szRasterBuf behind gMarginLeft white bytes. Blank lines only
// count up gFeed; they become blank-line commands when a non-blank line follows, so white at the
// bottom of a page costs nothing. The top margin starts the page as pending blank lines.
#include "driver/pagescan.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "jobstate.h"
#include "output/commands.h"
#include "output/encoder.h"
#include "output/output.h"

namespace {

// Allocates both page buffers white. Sizes are computed in 64 bits, so no header can wrap them.
bool allocatePageBuffers(const cups_page_header2_t& header)
{
    uint64_t rasterSize = uint64_t(header.cupsBytesPerLine) + gMarginLeft + 1;
    if (rasterSize > kMaxLineBufferBytes)
        return false;
    szRasterBuf = static_cast<unsigned char*>(malloc(rasterSize));
    szCompressBuf = static_cast<unsigned char*>(malloc(rasterSize * 2));
    if (!szRasterBuf || !szCompressBuf)
        return false;
    memset(szRasterBuf, 0xFF, rasterSize);
    memset(szCompressBuf, 0xFF, rasterSize * 2);
    return true;
}

// A line is blank when every byte is white. With a partial last byte (widthBits != 0) that byte
// must hold white pixels and zero bits beyond the line's width; a last byte with those bits set
// is not blank and goes out as a (possibly empty) frame.
bool isBlankLine(const unsigned char* line, size_t length, unsigned widthBits)
{
    if (length == 0)
        return true;
    if (line[0] != 0xFF)
        return false;
    if (widthBits == 0)
        return length <= 1 || memcmp(line, line + 1, length - 1) == 0;
    const unsigned char lastByte = static_cast<unsigned char>((0xFF << (8 - widthBits)) & 0xFF);
    return (length <= 2 || memcmp(line, line + 1, length - 2) == 0) && line[length - 1] == lastByte;
}

// Bytes of a line that are sent: the margin and the bytes that hold the line's pixels, but never
// more than the line buffer holds (a header may claim fewer bytes per line than its width needs).
uint32_t sentLineLength(const cups_page_header2_t& header)
{
    uint64_t pixelBytes = (uint64_t(header.cupsWidth) + 7) >> 3;
    return static_cast<uint32_t>(std::min<uint64_t>(pixelBytes, header.cupsBytesPerLine) + gMarginLeft);
}

// Bits of the last byte sent that lie past the line's width. The raster leaves them 0, which is
// black, and the printer knows only the paper's width, so they are made white before a line is
// sent. None when the width is a whole number of bytes or the line sent was clipped.
unsigned char paddingBits(const cups_page_header2_t& header)
{
    uint64_t pixelBytes = (uint64_t(header.cupsWidth) + 7) >> 3;
    if (header.cupsWidth % 8 == 0 || pixelBytes > header.cupsBytesPerLine)
        return 0;
    return static_cast<unsigned char>(0xFF >> (header.cupsWidth % 8));
}

// Sends the pending blank lines, then the first `length` bytes of szRasterBuf as one frame.
int SendOneLineData(uint32_t length)
{
    for (; gFeed != 0; --gFeed)
        putCharArray(szBlankLineCmd, sizeof szBlankLineCmd);
    return CompressDataAndSend(szRasterBuf, length, 3);
}

// The header's colour space as the number the stream holds: any 32-bit value can arrive there,
// and most are no value of the enumeration.
unsigned colorSpace(const cups_page_header2_t& header)
{
    unsigned space;
    memcpy(&space, &header.cupsColorSpace, sizeof space);
    return space;
}

// In the K colour space a set bit is black. Flipping the bits that hold pixels as each line is
// read turns the line into the W line that prints the same dots; bits past the width stay as the
// raster has them, as in a W page, so the rest of the line path is the same for both.
struct PixelFlip {
    size_t wholeBytes;      // bytes flipped whole
    unsigned char lastMask; // the pixel bits of the partial last byte (0: none)
};

PixelFlip pixelFlip(const cups_page_header2_t& header)
{
    uint64_t pixelBytes = std::min<uint64_t>((uint64_t(header.cupsWidth) + 7) >> 3, header.cupsBytesPerLine);
    if (header.cupsWidth % 8 == 0 || pixelBytes < (uint64_t(header.cupsWidth) + 7) >> 3)
        return {size_t(pixelBytes), 0};
    return {size_t(pixelBytes) - 1, static_cast<unsigned char>(0xFF << (8 - header.cupsWidth % 8))};
}

void flipPixels(unsigned char* pixels, PixelFlip flip)
{
    for (size_t i = 0; i < flip.wholeBytes; ++i)
        pixels[i] = static_cast<unsigned char>(~pixels[i]);
    if (flip.lastMask)
        pixels[flip.wholeBytes] ^= flip.lastMask;
}

// Reads and sends the page's lines; kBlackIsSet: a K page, whose pixel bits are flipped first.
template <bool kBlackIsSet>
void scanLines(cups_raster_t* raster, const cups_page_header2_t& header)
{
    unsigned char* const pixels = szRasterBuf + gMarginLeft;
    const size_t length = size_t(header.cupsBytesPerLine) + gMarginLeft;
    const unsigned widthBits = header.cupsWidth % 8;
    const uint32_t sentLength = sentLineLength(header);
    const unsigned char padding = paddingBits(header);
    unsigned char* const lastSentByte = szRasterBuf + (sentLength > 0 ? sentLength - 1 : 0);  // |= 0: unchanged
    [[maybe_unused]] const PixelFlip flip = pixelFlip(header);
    // A header with no bytes per line has nothing to read: the first read returns 0 and the page
    // ends empty, as a short page does.
    // A cancelled job stops between two lines, so the page can still be closed whole.
    for (uint32_t y = 0; y < header.cupsHeight && !gJobCanceled; ++y) {
        if (cupsRasterReadPixels(raster, pixels, header.cupsBytesPerLine) == 0)
            break;
        if constexpr (kBlackIsSet)
            flipPixels(pixels, flip);
        if (isBlankLine(szRasterBuf, length, widthBits)) {
            ++gFeed;
        } else {
            *lastSentByte |= padding;
            SendOneLineData(sentLength);
        }
    }
}

}  // namespace

bool IsPrintablePage(const cups_page_header2_t& header)
{
    const unsigned space = colorSpace(header);
    return header.cupsBitsPerPixel == 1 && (space == CUPS_CSPACE_W || space == CUPS_CSPACE_SW || space == CUPS_CSPACE_K);
}

bool ScanPage(cups_raster_t* raster, const cups_page_header2_t& header)
{
    if (!allocatePageBuffers(header))
        return false;
    gFeed = gMarginTop;
    if (colorSpace(header) == CUPS_CSPACE_K)
        scanLines<true>(raster, header);
    else
        scanLines<false>(raster, header);
    return true;
}
