// Tests of the page scan: blank-line folding, the blank test, margins, short pages and headers
// that do not add up.
#include <gtest/gtest.h>

#include "driver/pagescan.h"
#include "support/hex.h"
#include "support/ppd.h"
#include "support/process.h"
#include "support/reference_encoder.h"
#include "support/scan.h"
#include "support/stream.h"

namespace {

RasterPage page(unsigned width, std::vector<Bytes> lines, unsigned bytesPerLine = 0)
{
    return RasterPage{makeHeader(width, static_cast<unsigned>(lines.size()), bytesPerLine), std::move(lines)};
}

const Bytes kWhite2 = hex("FF FF");
const Bytes kDark2 = hex("00 0F");
const Bytes kDarkFrame = frame(hex("01 FF F0"));

}  // namespace

TEST(PageScan, BlankLinesFoldIntoPendingCommands)
{
    struct Case {
        const char* name;
        RasterPage page;
        uint32_t marginLeft, marginTop;
        Bytes expected;  // before the end-of-page command
    } cases[] = {
        {"all-white page, top margin", page(16, {kWhite2, kWhite2, kWhite2}), 0, 7, {}},
        {"top margin before first line", page(16, {kDark2}), 0, 3, cat({times(kBlankLine, 3), kDarkFrame})},
        {"five blank lines between two", page(16, {kDark2, kWhite2, kWhite2, kWhite2, kWhite2, kWhite2, kDark2}),
         0, 0, cat({kDarkFrame, times(kBlankLine, 5), kDarkFrame})},
        {"trailing blank lines dropped", page(16, {kWhite2, kDark2, kWhite2, kWhite2}), 0, 2,
         cat({times(kBlankLine, 3), kDarkFrame})},
        {"left margin of two", page(16, {hex("0F F0")}), 2, 0, frame(hex("01 00 00 01 F0 0F"))},
        {"width 13, last byte F8 is blank", page(13, {hex("FF F8"), kDark2}), 0, 0, cat({kBlankLine, kDarkFrame})},
        {"width 13, last byte FF is not blank", page(13, {hex("FF F8"), hex("FF FF")}), 0, 0,
         cat({kBlankLine, frame({})})},
        {"width 13, last byte F0 is not blank", page(13, {hex("FF F0")}), 0, 0, frame(hex("01 00 08"))},
        {"one-byte lines of width 5 are never blank", page(5, {hex("F8"), hex("70")}), 0, 0,
         cat({frame({}), frame(hex("00 88"))})},
        {"bytes beyond the width count for blankness", page(8, {hex("FF 00")}, 2), 0, 0, frame({})},
    };
    for (const Case& c : cases) {
        ScanResult r = scanPage(c.page, c.marginLeft, c.marginTop);
        EXPECT_TRUE(r.ok) << c.name;
        EXPECT_EQ(r.out, cat({c.expected, kEndPage})) << c.name;
    }
}

// Bits past the line's width in its last byte never reach the printer as black, whatever the
// raster left in them; the white end they made is then trimmed.
TEST(PageScan, BitsPastTheWidthAreSentWhite)
{
    for (unsigned rest = 0; rest < 8; ++rest)          // pixels in the last byte, 0 = a whole byte
        for (bool padSet : {false, true})              // what the raster left past the width
            for (bool inkAtEnd : {false, true})        // the line's last pixel black or white
                for (uint32_t margin : {0u, 2u}) {
                    const unsigned pixels = rest ? rest : 8;
                    const uint8_t past = uint8_t(0xFF >> pixels);  // bits past the width
                    uint8_t real = uint8_t(0xFF << (8 - pixels));  // the last byte's pixels, white
                    if (inkAtEnd)
                        real = uint8_t(real & ~(0x80 >> (pixels - 1)));
                    Bytes line = {0x00, 0xFF, uint8_t(real | (padSet ? past : 0))};
                    Bytes sent = cat({rep(0xFF, margin), {0x00, 0xFF, uint8_t(real | past)}});
                    while (!sent.empty() && sent.back() == 0xFF)
                        sent.pop_back();
                    ScanResult r = scanPage(page(16 + (rest ? rest : 8), {line}), margin, 0);
                    EXPECT_EQ(r.out, cat({frame(referencePayload(sent.data(), sent.size())), kEndPage}))
                        << "width remainder " << rest << ", padding " << padSet << ", ink " << inkAtEnd
                        << ", margin " << margin;
                }
}

TEST(PageScan, EveryRasterStreamVersionGivesTheSameLines)
{
    RasterPage p = page(24, {hex("00 00 00"), hex("FF FF FF"), hex("FF FF FF"), hex("12 34 FF"), hex("12 34 FF"),
                             hex("00 00 00")});
    Bytes expected = cat({frame(hex("FE FF")), times(kBlankLine, 2), frame(hex("01 ED CB")),
                          frame(hex("01 ED CB")), frame(hex("FE FF")), kEndPage});
    for (cups_mode_t mode : {CUPS_RASTER_WRITE, CUPS_RASTER_WRITE_COMPRESSED, CUPS_RASTER_WRITE_PWG}) {
        ScanResult r = scanPage(p, 0, 0, mode);
        EXPECT_EQ(r.out, expected) << "mode " << mode;
    }
}

TEST(PageScan, ShortPageEndsWhereThePixelsEnd)
{
    RasterPage p = page(16, {kDark2, kWhite2, kDark2});
    p.header.cupsHeight = 1000;
    ScanResult r = scanPage(p, 0, 0, CUPS_RASTER_WRITE);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.out, cat({kDarkFrame, kBlankLine, kDarkFrame, kEndPage}));
}

TEST(PageScan, HeadersThatDoNotAddUpStayInsideTheBuffers)
{
    // Fewer bytes per line than the width needs: the line sent is clipped to the bytes held.
    ScanResult narrow = scanPage(page(64, {hex("00"), hex("3C")}, 1));
    EXPECT_TRUE(narrow.ok);
    EXPECT_EQ(narrow.out, cat({frame(hex("00 FF")), frame(hex("00 C3")), kEndPage}));

    // No bytes per line (libcups refuses such headers itself): nothing to read, an empty page.
    ScanResult empty = scanPage(page(16, {kDark2}), 0, 0, CUPS_RASTER_WRITE,
                                [](cups_page_header2_t& h) { h.cupsBytesPerLine = 0; });
    EXPECT_TRUE(empty.ok);
    EXPECT_EQ(empty.out, kEndPage);

    // A line buffer that would wrap 32-bit sizes, or is beyond any paper: the page fails whole.
    for (uint32_t bytesPerLine : {0xFFFFFFFFu, 0x7FFFFFFFu, uint32_t(kMaxLineBufferBytes)}) {
        ScanResult huge = scanPage(page(16, {kDark2}), 1, 0, CUPS_RASTER_WRITE,
                                   [&](cups_page_header2_t& h) { h.cupsBytesPerLine = bytesPerLine; });
        EXPECT_FALSE(huge.ok) << bytesPerLine;
        EXPECT_EQ(huge.out, kEndPage) << bytesPerLine;
    }
}

TEST(PageScanJob, PageWhoseBuffersCannotBeAllocatedStopsTheJob)
{
    TestPpd ppd;
    const unsigned hugeWidth = unsigned(kMaxLineBufferBytes) * 8;
    RasterPage good = page(16, {kDark2});
    RasterPage huge{makeHeader(hugeWidth, 1), {Bytes(hugeWidth / 8, 0x00)}};
    ProcessResult r = runFilter(writeRaster({good, huge, good}), ppd.path());
    EXPECT_EQ(r.status, 1);
    ASSERT_GE(r.out.size(), kEndPage.size() * 2 + kStartPage.size());
    // The failed page is opened and closed with nothing in it, and no page follows it.
    Bytes tail(r.out.end() - long(kEndPage.size() * 2 + kStartPage.size()), r.out.end());
    EXPECT_EQ(tail, cat({kEndPage, kStartPage, kEndPage}));
}
