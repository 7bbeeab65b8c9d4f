// Raster line encoder: the frame around a line's payload, and the choice of encoder path.
#include "output/encoder.h"

#include <cstdio>

#include "jobstate.h"
#include "output/commands.h"
#include "output/output.h"

size_t encodePayloadPlain(const unsigned char* line, size_t trimmed, unsigned char* out)
{
    unsigned char* const start = out;
    for (size_t p = 0; p < trimmed;)
        p += putToken(line, p, trimmed, out);
    return static_cast<size_t>(out - start);
}

size_t encodeLinePayload(const unsigned char* line, size_t trimmed, unsigned char* out)
{
#ifdef KORVI_SSE2_ENCODER
    // Short lines gain nothing from the marks: the plain path takes them.
    if (trimmed >= kVectorMinBytes)
        return encodePayloadSse2(line, trimmed, out);
#endif
    return encodePayloadPlain(line, trimmed, out);
}

int CompressDataAndSend(const unsigned char* line, uint32_t length, int /*method*/)
{
    // A longer line would need a payload beyond the frame's 16-bit length field; the printer
    // would then take the rest of the payload for commands.
    if (length > kMaxEncodedLineBytes)
        length = kMaxEncodedLineBytes;
    size_t payload = encodeLinePayload(line, trimmedLength(line, length), szCompressBuf);

    unsigned char header[kLineFrameHeaderSize];
    buildLineFrameHeader(header, static_cast<uint16_t>(payload));
    putCharArray(header, kLineFrameHeaderSize);
    putCharArray(szCompressBuf, static_cast<int32_t>(payload));
    return fflush(stdout);
}
