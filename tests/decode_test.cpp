// Tests of the stream inspector: raster -> filter -> parser gives the page back at its margins;
// malformed streams give errors at the right offsets.
#include <gtest/gtest.h>

#include <random>

#include "listing.h"
#include "pageimage.h"
#include "stream.h"
#include "support/hex.h"
#include "support/ppd.h"
#include "support/process.h"
#include "support/raster.h"
#include "support/stream.h"

namespace {

enum class Fill { Text, Dithered, Black, White };

// A page whose unused bits in the last byte of each line are white.
RasterPage makePage(cups_page_header2_t header, Fill fill, uint32_t seed)
{
    std::mt19937 rng(seed);
    RasterPage page{header, {}};
    const unsigned bpl = header.cupsBytesPerLine;
    const uint8_t padding = header.cupsWidth % 8 ? uint8_t(0xFF >> (header.cupsWidth % 8)) : 0;
    for (unsigned y = 0; y < header.cupsHeight; ++y) {
        Bytes line(bpl, 0xFF);
        for (unsigned x = 0; x < bpl; ++x) {
            switch (fill) {
            case Fill::Text:
                if ((y / 40) % 2 == 0 && rng() % 5 == 0)
                    line[x] = uint8_t(rng() | rng());
                break;
            case Fill::Dithered:
                line[x] = uint8_t((x + y) % 2 ? 0xAA : 0x55) ^ uint8_t(y % 3 == 0 ? 0x11 : 0);
                break;
            case Fill::Black:
                line[x] = 0x00;
                break;
            case Fill::White:
                break;
            }
        }
        line[bpl - 1] |= padding;
        page.lines.push_back(line);
    }
    return page;
}

// The page as it should come out: the raster drawn on paper of the given size, `left` bytes from
// the left edge and `top` lines from the top.
PageImage expectedImage(const RasterPage& page, uint32_t paperW, uint32_t paperH, uint32_t left, uint32_t top)
{
    const cups_page_header2_t& h = page.header;
    PageImage image;
    image.width = paperW;
    image.height = paperH;
    image.rowBytes = (paperW + 7) / 8;
    image.black.assign(image.rowBytes * paperH, 0);
    for (uint32_t y = 0; y < h.cupsHeight; ++y)
        for (uint32_t x = 0; x < (h.cupsWidth + 7) / 8; ++x)
            image.black[(top + y) * image.rowBytes + left + x] = uint8_t(~page.lines[y][x]);
    return image;
}

Bytes smallJob()
{
    TestPpd ppd;
    cups_page_header2_t h = makePaperHeader(595, 842);
    h.cupsWidth = 40;
    h.cupsBytesPerLine = 5;
    h.cupsHeight = 4;
    RasterPage p{h, {hex("00 00 00 00 00"), hex("FF FF FF FF FF"), hex("12 34 56 78 9A"), hex("FF FF FF FF FF")}};
    return runFilter(writeRaster({p, p}), ppd.path()).out;
}

}  // namespace

TEST(Inspector, RoundTripGivesThePageBackAtItsMargins)
{
    TestPpd ppd;
    struct Case {
        const char* name;
        unsigned widthPt, lengthPt;
        uint32_t paperW, paperH;
        unsigned rasterW, rasterH;
        Fill fill;
        uint32_t leftBytes, topLines;  // worked out by hand: half the spare width, 3/8 of the spare height
    } cases[] = {
        {"A4 text", 595, 842, 4960, 7016, 4800, 400, Fill::Text, 10, 2481},
        {"A4 dithered, odd width", 595, 842, 4960, 7016, 4797, 200, Fill::Dithered, 10, 2556},
        {"A5 all black", 420, 595, 3512, 4958, 3300, 100, Fill::Black, 13, 1821},
        {"A5 landscape all white", 595, 420, 4958, 3512, 4900, 50, Fill::White, 3, 1296},
        {"B5 text, odd width", 498, 708, 4176, 5908, 4001, 300, Fill::Text, 10, 2103},
        {"A4 landscape text", 842, 595, 7016, 4958, 6999, 150, Fill::Text, 1, 1803},
        {"Letter dithered", 612, 792, 5100, 6600, 5100, 6600, Fill::Dithered, 0, 0},
    };
    for (const Case& c : cases) {
        cups_page_header2_t h = makePaperHeader(c.widthPt, c.lengthPt);
        h.cupsWidth = c.rasterW;
        h.cupsBytesPerLine = (c.rasterW + 7) / 8;
        h.cupsHeight = c.rasterH;
        RasterPage page = makePage(h, c.fill, c.rasterW);
        ProcessResult r = runFilter(writeRaster({page}), ppd.path());
        ASSERT_EQ(r.status, 0) << c.name;

        Stream stream;
        ASSERT_TRUE(parseStream(r.out.data(), r.out.size(), stream)) << c.name << ": " << stream.fault->what;
        ASSERT_TRUE(stream.settings) << c.name;
        EXPECT_EQ(stream.settings->paperWidth, c.paperW) << c.name;
        EXPECT_EQ(stream.settings->paperHeight, c.paperH) << c.name;
        ASSERT_EQ(stream.pages.size(), 1u) << c.name;
        PageImage got;
        ASSERT_TRUE(renderPage(stream.pages[0], c.paperW, c.paperH, got)) << c.name;
        PageImage want = expectedImage(page, c.paperW, c.paperH, c.leftBytes, c.topLines);
        EXPECT_FALSE(got.largerThanPaper) << c.name;
        EXPECT_EQ(got.width, want.width) << c.name;
        EXPECT_EQ(got.height, want.height) << c.name;
        EXPECT_TRUE(got.black == want.black) << c.name;
    }
}

TEST(Inspector, TruncatedStreamsAreWellFormedOnlyAtPageBoundaries)
{
    Bytes job = smallJob();
    Stream whole;
    ASSERT_TRUE(parseStream(job.data(), job.size(), whole));
    ASSERT_EQ(whole.pages.size(), 2u);
    const size_t pageBytes = whole.pages[0].streamBytes;
    const size_t firstPage = whole.pages[0].offset;
    for (size_t n = 0; n < job.size(); ++n) {
        Stream s;
        bool boundary = n == 12 || n == firstPage + pageBytes;
        EXPECT_EQ(parseStream(job.data(), n, s), boundary) << "cut at " << n;
        if (!boundary) {
            ASSERT_TRUE(s.fault) << "cut at " << n;
            EXPECT_LE(s.fault->offset, n);
        }
    }
}

TEST(Inspector, CorruptionsAreReportedWhereTheyAre)
{
    Bytes job = smallJob();
    Stream whole;
    ASSERT_TRUE(parseStream(job.data(), job.size(), whole, ParseOptions{true, true}));
    size_t firstFrame = 0;
    for (const StreamCommand& c : whole.commands)
        if (!firstFrame && c.text.find("line frame") == 0)
            firstFrame = c.offset;
    ASSERT_GT(firstFrame, 0u);
    const size_t copiesCrc = 12 + 36 + 5;

    struct Case {
        const char* name;
        size_t offset;
        uint8_t value;
        size_t faultOffset;
        const char* words;
    } cases[] = {
        {"count byte 0x7F", firstFrame + 6, 0x7F, firstFrame + 6, "never produced"},
        {"count byte 0x80", firstFrame + 6, 0x80, firstFrame + 6, "never produced"},
        {"count byte 0xFF", firstFrame + 6, 0xFF, firstFrame + 6, "never produced"},
        {"literal past the payload", firstFrame + 6, 0x7E, firstFrame + 6, "runs past"},
        {"wrong CRC", copiesCrc, 0x00, copiesCrc, "CRC"},
        {"unknown command in a page", firstFrame, 0x41, firstFrame, "unknown command"},
        {"init damaged", 3, 0x00, 0, "init"},
        {"density command damaged", 12 + 5 + 2, 0x09, 12 + 5, "print density"},
    };
    for (const Case& c : cases) {
        Bytes bad = job;
        bad[c.offset] = c.value;
        Stream s;
        EXPECT_FALSE(parseStream(bad.data(), bad.size(), s)) << c.name;
        ASSERT_TRUE(s.fault) << c.name;
        EXPECT_EQ(s.fault->offset, c.faultOffset) << c.name << ": " << s.fault->what;
        EXPECT_NE(s.fault->what.find(c.words), std::string::npos) << c.name << ": " << s.fault->what;
    }
}

TEST(Inspector, LinesBeyondThePaperAreShownWhole)
{
    StreamPage page;
    page.rows = 12;
    page.inkWidth = 23;
    page.lines.push_back({11, hex("00 FF 00")});
    PageImage image;
    ASSERT_TRUE(renderPage(page, 16, 10, image));
    EXPECT_TRUE(image.largerThanPaper);
    EXPECT_EQ(image.width, 23u);
    EXPECT_EQ(image.height, 12u);
    EXPECT_EQ(Bytes(image.black.end() - 3, image.black.end()), hex("FF 00 FE"));
    const struct {
        uint32_t width, height;
        const char* name;
    } papers[] = {{4960, 7016, "A4"},         {7016, 4958, "A4 landscape"}, {4958, 3512, "A5 landscape"},
                  {4176, 5908, "B5"},         {6600, 5100, "Letter landscape"}, {4961, 7016, ""}};
    for (const auto& p : papers)
        EXPECT_EQ(paperName(p.width, p.height), p.name) << p.width << " x " << p.height;
}

TEST(Inspector, CommandLineListsTheJobAndWritesImages)
{
    TempFile job;
    job.write(smallJob());
    TempFile prefix;
    ProcessCall call;
    call.argv = {KORVIDECODE_PATH, "--verbose", "--images", prefix.path(), job.path()};
    ProcessResult r = runProcess(call);
    EXPECT_EQ(r.status, 0);
    std::string listing(r.out.begin(), r.out.end());
    for (const char* words : {"paper size     4960 x 7016 dots, 210.0 x 297.0 mm (A4)", "copies         1 (CRC 0x2549, correct)",
                              "Pages: 2", "line frame, row", prefix.path().c_str()})
        EXPECT_NE(listing.find(words), std::string::npos) << words << "\n" << listing;
    for (int page : {1, 2}) {
        std::string path = prefix.path() + "-" + std::to_string(page) + ".pbm";
        Bytes image = readFile(path);
        EXPECT_EQ(image.size(), std::string("P4\n# Korvi printer stream page\n4960 7016\n").size() + 620 * 7016);
        unlink(path.c_str());
    }

    Bytes cut = smallJob();
    cut.resize(cut.size() - 1);
    job.write(cut);
    call.argv = {KORVIDECODE_PATH, job.path()};
    ProcessResult bad = runProcess(call);
    EXPECT_EQ(bad.status, 1);
    std::string text(bad.out.begin(), bad.out.end());
    EXPECT_NE(text.find("ERROR at offset"), std::string::npos) << text;
    EXPECT_NE(text.find("Pages: 2"), std::string::npos) << text;
}
