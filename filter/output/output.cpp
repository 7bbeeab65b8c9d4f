// Byte output primitives. Write errors are not checked here: stdio keeps the error flag on
// stdout, and the job's exit status is decided from it once the job has been flushed.
#include "output/output.h"

#include <cstdio>

void putDataChar(int ch)
{
    putc(ch & 0xFF, stdout);
}

void putCharArray(const unsigned char* bytes, int32_t count)
{
    for (int32_t i = 0; i < count; ++i)
        putDataChar(bytes[i]);
}
