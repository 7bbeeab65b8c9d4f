// Hostile input: crafted raster headers, truncated streams, many pages, and output that cannot be
// written. Every run must end by itself with exit status 0 or 1, in bounded memory, with a
// well-formed printer stream.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "stream.h"
#include "support/files.h"
#include "support/hex.h"
#include "support/ppd.h"
#include "support/process.h"
#include "support/raster.h"
#include "support/stream.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr long kMaxRssKb = 1024 * 1024;  // shadow memory, and the sanitizer fills calloc itself
#else
constexpr long kMaxRssKb = 48 * 1024;   // the filter's bound on any input
#endif

// Runs the filter and checks the outcome; returns the parsed stream.
Stream expectCleanRun(const Bytes& raster, const std::string& name)
{
    TestPpd ppd;
    ProcessResult r = runFilter(raster, ppd.path());
    EXPECT_TRUE(r.status == 0 || r.status == 1) << name << ": status " << r.status;
    EXPECT_LT(r.maxRssKb, kMaxRssKb) << name;
    Stream stream;
    EXPECT_TRUE(parseStream(r.out.data(), r.out.size(), stream, ParseOptions{false, false}))
        << name << ": " << (stream.fault ? stream.fault->what : "");
    return stream;
}

RasterPage darkPage(cups_page_header2_t h, size_t lines)
{
    RasterPage p{h, {}};
    p.lines.assign(lines, Bytes(std::min<size_t>(h.cupsBytesPerLine, 4096), 0x00));
    return p;
}

}  // namespace

TEST(Hostile, CraftedHeadersEndCleanly)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        const char* name;
        std::function<void(cups_page_header2_t&)> craft;
        size_t lines;
    } cases[] = {
        {"bytes per line below the width", [](cups_page_header2_t& h) { h.cupsBytesPerLine = 1; }, 4},
        {"zero bytes per line", [](cups_page_header2_t& h) { h.cupsBytesPerLine = 0; }, 0},
        {"bytes per line 0xFFFFFFF0", [](cups_page_header2_t& h) { h.cupsBytesPerLine = 0xFFFFFFF0; }, 0},
        {"height 0xFFFFFFFF, little data", [](cups_page_header2_t& h) { h.cupsHeight = 0xFFFFFFFF; }, 3},
        {"width 0xFFFFFFF8", [](cups_page_header2_t& h) { h.cupsWidth = 0xFFFFFFF8; }, 4},
        {"width 0xFFFFFFFF", [](cups_page_header2_t& h) { h.cupsWidth = 0xFFFFFFFF; }, 4},
        {"paper size negative", [](cups_page_header2_t& h) { h.PageSize[0] = 1; h.cupsPageSize[0] = h.cupsPageSize[1] = -500.0f; }, 4},
        {"paper size NaN", [=](cups_page_header2_t& h) { h.PageSize[0] = 1; h.cupsPageSize[0] = h.cupsPageSize[1] = nan; }, 4},
        {"paper size infinite", [=](cups_page_header2_t& h) { h.PageSize[0] = 1; h.cupsPageSize[0] = h.cupsPageSize[1] = inf; }, 4},
        {"paper size 1e12 points", [](cups_page_header2_t& h) { h.PageSize[0] = 1; h.cupsPageSize[0] = h.cupsPageSize[1] = 1e12f; }, 4},
        {"8-bit pixels", [](cups_page_header2_t& h) {
             h.cupsBitsPerPixel = h.cupsBitsPerColor = 8;
             h.cupsColorSpace = CUPS_CSPACE_K;
             h.cupsBytesPerLine = h.cupsWidth;
         }, 4},
        {"line buffer beyond the limit", [](cups_page_header2_t& h) {
             h.cupsWidth = 8u << 21;
             h.cupsBytesPerLine = 1u << 21;
         }, 1},
    };
    for (const Case& c : cases) {
        cups_page_header2_t h = makeHeader(64, 8);
        c.craft(h);
        Bytes raster = writeRaster({darkPage(h, c.lines)}, CUPS_RASTER_WRITE);
        expectCleanRun(raster, c.name);
    }
}

TEST(Hostile, TruncatedStreamsEndCleanly)
{
    cups_page_header2_t h = makeHeader(200, 30);
    RasterPage page{h, {}};
    for (unsigned y = 0; y < h.cupsHeight; ++y)
        page.lines.push_back(Bytes(25, uint8_t(y % 3 ? 0xFF : 0x3C)));
    for (cups_mode_t mode : {CUPS_RASTER_WRITE, CUPS_RASTER_WRITE_COMPRESSED, CUPS_RASTER_WRITE_PWG}) {
        Bytes whole = writeRaster({page, page, page}, mode);
        for (size_t cut = 0; cut < whole.size(); cut += 1 + whole.size() / 60) {
            Bytes part(whole.begin(), whole.begin() + long(cut));
            expectCleanRun(part, "mode " + std::to_string(mode) + " cut at " + std::to_string(cut));
        }
    }
}

TEST(Hostile, HeaderThatMakesLibcupsReserveFourGigabytes)
{
    // Found by fuzzing: a compressed page header whose bytes per line make libcups reserve a
    // 4 GiB line buffer while reading it. The buffer is never touched: no page is printed.
    TestPpd ppd;
    ProcessCall call;
    call.argv = filterArgs();
    call.ppd = ppd.path();
    call.stdinPath = KORVI_TEST_DATA "/huge-line-buffer.ras";
    ProcessResult r = runProcess(call);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, kInit);
    EXPECT_LT(r.maxRssKb, kMaxRssKb);
}

TEST(Hostile, ManyPages)
{
    RasterPage page{makeHeader(16, 1), {hex("00 FF")}};
    Stream s = expectCleanRun(writeRaster(std::vector<RasterPage>(3000, page)), "3000 pages");
    EXPECT_EQ(s.pages.size(), 3000u);
}

TEST(Hostile, OutputThatCannotBeWrittenEndsWithStatusOne)
{
    TestPpd ppd;
    cups_page_header2_t h = makeHeader(4800, 400);
    RasterPage page{h, {}};
    for (unsigned y = 0; y < h.cupsHeight; ++y) {
        Bytes line(600);
        for (size_t x = 0; x < line.size(); ++x)
            line[x] = uint8_t(x * 7 + y);
        page.lines.push_back(line);
    }
    TempFile input;
    input.write(writeRaster(std::vector<RasterPage>(10, page)));

    struct Case {
        const char* name;
        std::string stdoutPath;
        bool closeStdout;
        size_t hangUpAfter;
    } cases[] = {
        {"disk full", "/dev/full", false, 0},
        {"standard output closed", "", true, 0},
        {"reader goes away mid-job", "", false, 100000},
    };
    for (const Case& c : cases) {
        ProcessCall call;
        call.argv = filterArgs();
        call.ppd = ppd.path();
        call.stdinPath = input.path();
        call.stdoutPath = c.stdoutPath;
        call.closeStdout = c.closeStdout;
        call.hangUpAfter = c.hangUpAfter;
        EXPECT_EQ(runProcess(call).status, 1) << c.name;
    }
}
