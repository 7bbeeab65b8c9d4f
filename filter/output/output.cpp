// Byte output primitives. Write errors are not checked here: stdio keeps the error flag on
// stdout, and the job's exit status is decided from it once the job has been flushed. The filter
// has one thread, so stdout is written without taking its lock for every byte.
#include "output/output.h"

#include <cstdio>

void putDataChar(int ch)
{
    putc_unlocked(ch & 0xFF, stdout);
}

void putCharArray(const unsigned char* bytes, int32_t count)
{
    if (count > 0)
        fwrite_unlocked(bytes, 1, size_t(count), stdout);
}
