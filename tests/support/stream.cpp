// Test toolkit: expected settings blocks.
#include "support/stream.h"

#include "output/crc16.h"

Bytes settingsBlock(uint8_t weightByte, uint8_t densityByte, uint16_t paperWidth, uint16_t paperHeight,
                    uint16_t copies)
{
    Bytes copiesCmd = {0x1B, 0x26, 0x6C, uint8_t(copies & 0xFF), uint8_t(copies >> 8)};
    uint16_t crc = cyg_crc16(copiesCmd.data(), 5);
    copiesCmd.push_back(uint8_t(crc & 0xFF));
    copiesCmd.push_back(uint8_t(crc >> 8));
    return cat({
        {0x1C, 0x16, 0x01, 0x42, weightByte},
        {0x1C, 0x16, 0x02, 0x42, densityByte},
        {0x1C, 0x16, 0x03, 0x42, 0x10},
        {0x1B, 0x26, 0x41, 0x01, 0x00, 0x01},
        {0x1B, 0x78, uint8_t(paperWidth & 0xFF), uint8_t(paperWidth >> 8), 0x1B, 0x79, uint8_t(paperHeight & 0xFF),
         uint8_t(paperHeight >> 8)},
        {0x1B, 0x26, 0x41, 0x03, 0x00, 0x00, 0x00},
        copiesCmd,
    });
}

Bytes defaultA4Settings()
{
    return settingsBlock(0x11, 0x12, 4960, 7016);
}
