// Fuzz target: the stream inspector's parser (and page images of small papers) on arbitrary
// bytes. It must never crash, and a fault must lie within the input.
#include <cstdlib>

#include "listing.h"
#include "pageimage.h"
#include "stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Stream stream;
    bool ok = parseStream(data, size, stream, ParseOptions{true, true});
    if (ok == bool(stream.fault) || (stream.fault && stream.fault->offset > size))
        abort();
    FILE* null = fopen("/dev/null", "w");
    printListing(stream, "fuzz", true, null);
    fclose(null);
    if (stream.settings && uint64_t(stream.settings->paperWidth) * stream.settings->paperHeight <= (uint64_t(1) << 24))
        for (const StreamPage& page : stream.pages) {
            PageImage image;
            if (uint64_t(page.inkWidth + 8) * (page.rows + 1) <= (uint64_t(1) << 24))
                renderPage(page, stream.settings->paperWidth, stream.settings->paperHeight, image);
        }
    return 0;
}
