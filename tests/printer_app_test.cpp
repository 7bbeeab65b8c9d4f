// The Printer Application's own logic, without a server: counting the pages of a stream as it
// passes, the halftone, and what IPP attributes become for the PPD.
#include <gtest/gtest.h>

#include <random>

#include "halftone.h"
#include "holds.h"
#include "options.h"
#include "pagecount.h"
#include "pagefit.h"
#include "support/ppd.h"
#include "support/process.h"
#include "support/raster.h"

// The filter's real output for pages whose lines hold the end-page command's bytes, passed in
// pieces of every size: only real start- and end-page commands count (the app holds a job's bytes
// back until its first page starts).
TEST(PrinterApp, PagesAreCountedAsTheStreamPasses)
{
    RasterPage tricky{makeHeader(64, 4), {}};
    const Bytes endPageInPayload = {0xE4, 0xDB, 0xBD, 0x00, 0x11, 0x22, 0x33, 0x44};  // inverted: 1B 24 42 ...
    const Bytes startPageInPayload = {0xE4, 0xDB, 0xBE, 0x00, 0x11, 0x22, 0x33, 0x44};  // 1B 24 41 ...
    tricky.lines = {endPageInPayload, Bytes(8, 0xFF), startPageInPayload, endPageInPayload};
    TestPpd ppd;
    for (size_t pages : {0, 1, 3}) {
        tricky.header.NumCopies = unsigned(pages + 1);
        ProcessResult r = runFilter(writeRaster(std::vector<RasterPage>(pages, tricky)), ppd.path());
        std::mt19937 random{unsigned(pages)};
        PageCounter counter;
        unsigned ended = 0;
        for (size_t at = 0; at < r.out.size();) {
            size_t n = std::min<size_t>(r.out.size() - at, 1 + random() % 9);
            ended += countPages(counter, r.out.data() + at, n);
            at += n;
        }
        EXPECT_EQ(ended, pages);
        EXPECT_EQ(counter.pages, pages);
        EXPECT_EQ(counter.started, pages);
        EXPECT_EQ(counter.copies, pages ? pages + 1 : 1);
    }
}

// Over a whole tile, the ink follows the tone curve; white stays paper and black is solid, both
// ways round; bits past the width stay 0.
TEST(PrinterApp, HalftoneInksAsTheGreyAsks)
{
    struct Case {
        uint8_t sgray;
        int minInk, maxInk;  // of 64 dots of an 8 x 8 tile
    } cases[] = {{255, 0, 0}, {0, 64, 64}, {128, 26, 30}, {25, 53, 57}, {230, 2, 6}};
    for (const Case& c : cases) {
        for (GreyKind kind : {GreyKind::kWhiteIsHigh, GreyKind::kBlackIsHigh}) {
            const uint8_t value = kind == GreyKind::kWhiteIsHigh ? c.sgray : uint8_t(255 - c.sgray);
            std::vector<uint8_t> grey(13, value);
            int ink = 0;
            for (uint32_t y = 0; y < 8; ++y) {
                uint8_t bits[2] = {0xAA, 0xAA};
                halftoneLine(grey.data(), grey.size(), y, kind, bits);
                EXPECT_EQ(bits[1] & 0x07, 0) << "bits past the width";
                ink += 8 - __builtin_popcount(bits[0]);  // the tile's 8 columns
            }
            EXPECT_GE(ink, c.minInk) << int(c.sgray);
            EXPECT_LE(ink, c.maxInk) << int(c.sgray);
        }
    }
}

TEST(PrinterApp, IppAttributesBecomeThePpdsOptions)
{
    struct Darkness {
        int print, configured, density;
    } darkness[] = {{0, 50, 2}, {-100, 50, 0}, {-60, 50, 1}, {-22, 50, 1}, {-20, 50, 2}, {20, 50, 3},
                    {60, 50, 4}, {100, 50, 4}, {0, 0, 0}, {0, 100, 4}, {100, 100, 4}, {-100, 0, 0}};
    for (const Darkness& d : darkness)
        EXPECT_EQ(printDensity(d.print, d.configured), d.density) << d.print << " " << d.configured;

    EXPECT_EQ(paperWeight("stationery-lightweight"), 0);
    EXPECT_EQ(paperWeight("cardstock"), 3);
    EXPECT_EQ(paperWeight("photographic-glossy"), 1);
    EXPECT_EQ(paperWeight(nullptr), 1);

    EXPECT_STREQ(ppdPageSize("iso_b5_176x250mm"), "ISOB5");
    EXPECT_STREQ(ppdPageSize("na_legal_8.5x14in"), "Legal");
    EXPECT_STREQ(ppdPageSize("na_index-4x6_4x6in"), "A4");

    struct Points {
        unsigned w, h;
        const char* ppd;  // nullptr: no such media
    } points[] = {{595, 842, "A4"}, {594, 842, "A4"}, {420, 595, "A5"}, {499, 709, "ISOB5"},
                  {612, 792, "Letter"}, {612, 1008, "Legal"}, {842, 595, nullptr}, {288, 432, nullptr}};
    for (const Points& p : points) {
        const korvi::Paper* m = mediaForPoints(p.w, p.h);
        EXPECT_STREQ(m ? m->ppdName : nullptr, p.ppd) << p.w << "x" << p.h;
    }
}

// A timed hold ends when its period begins, or at once when the job was made within it; weekend is
// Saturday and Sunday; indefinite never ends by itself.
TEST(PrinterApp, TimedHoldsEndWhenTheirPeriodBegins)
{
    auto at = [](int day, int hour, int minute = 0) {  // December 2026: the 9th is a Wednesday
        struct tm t {};
        t.tm_year = 126, t.tm_mon = 11, t.tm_mday = day, t.tm_hour = hour, t.tm_min = minute, t.tm_isdst = -1;
        return mktime(&t);
    };
    const struct {
        const char* keyword;
        time_t created, ends;
    } holds[] = {
        {"day-time", at(9, 9, 40), at(9, 9, 40)},     {"day-time", at(9, 20), at(10, 6)},
        {"day-time", at(10, 3), at(10, 6)},           {"evening", at(9, 9, 40), at(9, 18)},
        {"night", at(9, 23), at(9, 23)},              {"second-shift", at(9, 9, 40), at(9, 16)},
        {"second-shift", at(9, 17), at(9, 17)},       {"third-shift", at(9, 9, 40), at(10, 0)},
        {"third-shift", at(10, 3), at(10, 3)},        {"weekend", at(9, 9, 40), at(12, 0)},
        {"weekend", at(13, 15), at(13, 15)},          {"indefinite", at(9, 9), 0},
    };
    for (const auto& h : holds)
        EXPECT_EQ(holdEnds(h.keyword, h.created), h.ends) << h.keyword << " from " << h.created;
}

// Raster pages the printer cannot take as they are: landscape ones turned anticlockwise, larger
// ones scaled down (or cropped), smaller ones centred; a marked pixel lands where that puts it.
TEST(PrinterApp, RasterPagesAreFittedToThePaper)
{
    const korvi::Paper& a4 = korvi::kPapers[korvi::kPaperA4];
    struct Case {
        unsigned width, height;
        bool crop;
        bool turn;
        double scale;
        long left, top;
    } cases[] = {
        {7016, 4958, false, true, 1.0, 1, 0},          // A4 landscape
        {7016, 9925, false, false, 7016 / 9925.0, 0, 0},  // A3
        {7016, 9925, true, false, 1.0, -1028, -1454},    // A3, cropped
        {2480, 3508, false, false, 1.0, 1240, 1754},     // A6
    };
    for (const Case& c : cases) {
        PageFit fit = fitPage(c.width, c.height, a4, c.crop);
        EXPECT_EQ(fit.turn, c.turn) << c.width << " x " << c.height;
        EXPECT_NEAR(fit.scale, c.scale, 1e-9) << c.width << " x " << c.height;
        EXPECT_NEAR(fit.left, c.left, 1) << c.width << " x " << c.height;
        EXPECT_NEAR(fit.top, c.top, 1) << c.width << " x " << c.height;
    }
    // A 4 x 2 landscape page with its top-left pixel black, on a 2 x 4 paper: turned, that pixel
    // is at the paper's bottom left.
    const uint8_t page[8] = {0, 255, 255, 255, 255, 255, 255, 255};
    korvi::Paper tiny = a4;
    tiny.widthDots = 2;
    tiny.heightDots = 4;
    PageFit fit = fitPage(4, 2, tiny, false);
    std::vector<uint8_t> line(2);
    for (unsigned y = 0; y < 4; ++y) {
        fitLine(fit, page, 4, 2, y, 255, line.data());
        EXPECT_EQ(line[0], y == 3 ? 0 : 255) << y;
        EXPECT_EQ(line[1], 255) << y;
    }
}
