// CRC-16 (polynomial 0x1021, initial value 0, no reflection, no final XOR) that protects the
// printer's copy-count command.
#pragma once

#include <cstdint>

uint16_t cyg_crc16(const unsigned char* bytes, int32_t count);
