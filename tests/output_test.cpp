// Tests of the output primitives, the CRC and the command templates.
#include <gtest/gtest.h>

#include <cstring>

#include "output/commands.h"
#include "output/crc16.h"
#include "output/output.h"
#include "support/process.h"
#include "support/stream.h"

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
