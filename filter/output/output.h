// Byte output primitives: the only way bytes leave the filter (to standard output).
#pragma once

#include <cstdint>

void putDataChar(int ch);
void putCharArray(const unsigned char* bytes, int32_t count);
