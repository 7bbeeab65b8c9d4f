// Tests of the output primitives, the CRC and the command templates.
#include <gtest/gtest.h>

#include <cstring>

#include "output/commands.h"
#include "output/crc16.h"
#include "output/output.h"
#include "support/hex.h"
#include "support/process.h"
#include "support/stream.h"

// The templates hold the printer's commands byte for byte (the settings at their defaults), and
// the named offsets point at their variable bytes; expected streams elsewhere are built from them.
TEST(Commands, TemplatesAreThePrintersCommands)
{
    struct Case {
        const char* name;
        const unsigned char* bytes;
        size_t size;
        const char* printer;
    } cases[] = {
        {"init", szInitCmd, sizeof szInitCmd, "1B 26 42 1B 25 2D 39 38 37 36 35 58"},
        {"start page", szStartPageCmd, sizeof szStartPageCmd, "1B 24 41 1B 21 41 00 00 00"},
        {"end page", szEndPageCmd, sizeof szEndPageCmd, "1B 24 42"},
        {"blank line", szBlankLineCmd, sizeof szBlankLineCmd, "1B 2A 42 01 00"},
        {"paper weight", szPaperWeightCmd, sizeof szPaperWeightCmd, "1C 16 01 42 11"},
        {"darkness", szDarknessCmd, sizeof szDarknessCmd, "1C 16 02 42 12"},
        {"render type", szRenderTypeCmd, sizeof szRenderTypeCmd, "1C 16 03 42 10"},
        {"input bin", szInputBinCmd, sizeof szInputBinCmd, "1B 26 41 01 00 01"},
        {"paper size", szPaperSizeSelfdefCmd, sizeof szPaperSizeSelfdefCmd, "1B 78 60 13 1B 79 68 1B"},
        {"resolution", szResolutionCmd, sizeof szResolutionCmd, "1B 26 41 03 00 00 00"},
        {"copies", szPrintNumCopiesCmd, sizeof szPrintNumCopiesCmd, "1B 26 6C 01 00 49 25"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Bytes(c.bytes, c.bytes + c.size), hex(c.printer)) << c.name;
    EXPECT_EQ(szPaperWeightCmd[kPaperWeightAt], 0x11);
    EXPECT_EQ(szDarknessCmd[kDarknessAt], 0x12);
    EXPECT_EQ(szPaperSizeSelfdefCmd[kPaperWidthAt] | szPaperSizeSelfdefCmd[kPaperWidthAt + 1] << 8, 4960);
    EXPECT_EQ(szPaperSizeSelfdefCmd[kPaperHeightAt] | szPaperSizeSelfdefCmd[kPaperHeightAt + 1] << 8, 7016);
    EXPECT_EQ(szPrintNumCopiesCmd[kCopiesAt] | szPrintNumCopiesCmd[kCopiesAt + 1] << 8, 1);
    EXPECT_EQ(szPrintNumCopiesCmd[kCopiesCrcAt] | szPrintNumCopiesCmd[kCopiesCrcAt + 1] << 8, 0x2549);
}

TEST(Crc16, CheckValueAndEmptyInput)
{
    const unsigned char check[] = "123456789";
    EXPECT_EQ(cyg_crc16(check, 9), 0x31C3);
    EXPECT_EQ(cyg_crc16(check, 0), 0);
    EXPECT_EQ(cyg_crc16(check, -5), 0);
}

TEST(Crc16, CopyCountCommands)
{
    struct Case {
        unsigned char copies[2];
        uint16_t crc;
    } cases[] = {{{0x01, 0x00}, 0x2549}, {{0x02, 0x00}, 0x701A}, {{0x2C, 0x01}, 0x45D2}};
    for (const Case& c : cases) {
        unsigned char cmd[5] = {0x1B, 0x26, 0x6C, c.copies[0], c.copies[1]};
        EXPECT_EQ(cyg_crc16(cmd, 5), c.crc) << int(c.copies[0]);
    }
    // The template's default is one copy with its CRC in place.
    EXPECT_EQ(cyg_crc16(szPrintNumCopiesCmd, 5),
              szPrintNumCopiesCmd[5] | (szPrintNumCopiesCmd[6] << 8));
}

TEST(PutCharArray, WritesExactlyCountBytes)
{
    const unsigned char bytes[] = {0x00, 0xFF, 0x1B, 0x80};
    struct Case {
        int32_t count;
        size_t written;
    } cases[] = {{4, 4}, {2, 2}, {0, 0}, {-1, 0}, {INT32_MIN, 0}};
    for (const Case& c : cases) {
        Bytes out = captureStdout([&] { putCharArray(bytes, c.count); });
        EXPECT_EQ(out, Bytes(bytes, bytes + c.written)) << c.count;
    }
    EXPECT_EQ(captureStdout([] { putDataChar(0x1234); }), Bytes{0x34});
}

TEST(LineFrameHeader, TagAndLittleEndianLength)
{
    unsigned char header[kLineFrameHeaderSize];
    buildLineFrameHeader(header, 0x1234);
    const unsigned char expected[] = {0x1B, 0x2A, 0x41, 0x02, 0x34, 0x12};
    EXPECT_EQ(0, memcmp(header, expected, sizeof expected));
}
