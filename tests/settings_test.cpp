// Tests of the job settings: options, copies, paper size, margins and the settings block, and a
// whole job through the filter.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "jobstate.h"
#include "output/commands.h"
#include "papers.h"
#include "settings/papersize.h"
#include "settings/settings.h"
#include "support/hex.h"
#include "support/ppd.h"
#include "support/process.h"
#include "support/raster.h"
#include "support/stream.h"

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {

struct Settings {
    Bytes block;
    uint32_t marginLeft;
    uint32_t marginTop;
};

Settings settingsFor(const cups_page_header2_t& header, const std::vector<PpdOption>& ppdOptions = {},
                     const std::string& jobOptions = "")
{
    TestPpd ppd(ppdOptions);
    ppd_file_t* file = ppdOpenFile(ppd.path().c_str());
    EXPECT_NE(file, nullptr);
    parsePrinterSettings(file, jobOptions.c_str(), header);
    Settings s{captureStdout(sendSettingsToPrinter), gMarginLeft, gMarginTop};
    ppdClose(file);
    // The next test starts from the state a new job starts from.
    resetCommandTemplates();
    gMarginLeft = gMarginTop = 0;
    return s;
}

cups_page_header2_t a4(unsigned width = 4800, unsigned height = 6800)
{
    cups_page_header2_t h = makeHeader(width, height);
    h.PageSize[0] = 595;
    h.PageSize[1] = 842;
    return h;
}

const PpdOption kDensity = {"PrintDensity", "3", {"0", "1", "2", "3", "4", "9"}};
const PpdOption kWeight = {"PaperWeight", "2", {"0", "1", "2", "3", "-1"}};

}  // namespace

TEST(Settings, WorkedExampleA4)
{
    Settings s = settingsFor(a4(), {{"PrintDensity", "3", {"1", "2", "3"}}});
    EXPECT_EQ(s.block, hex("1C 16 01 42 11  1C 16 02 42 13  1C 16 03 42 10  1B 26 41 01 00 01"
                           "  1B 78 60 13 1B 79 68 1B  1B 26 41 03 00 00 00  1B 26 6C 01 00 49 25"));
    EXPECT_EQ(s.marginLeft, 10u);
    EXPECT_EQ(s.marginTop, 81u);
}

TEST(Settings, DensityAndWeightFromPpdAndJobOptions)
{
    struct Case {
        const char* name;
        std::vector<PpdOption> ppd;
        std::string job;
        uint8_t weight, density;
    } cases[] = {
        {"no options in the PPD", {}, "", 0x11, 0x12},
        {"PPD defaults", {kDensity, kWeight}, "", 0x12, 0x13},
        {"job options override", {kDensity, kWeight}, "PrintDensity=0 PaperWeight=3", 0x13, 0x10},
        {"no range check", {kDensity, kWeight}, "PrintDensity=9", 0x12, 0x19},
        {"choice -1 takes the default", {kDensity, kWeight}, "PaperWeight=-1", 0x11, 0x13},
        {"unknown job choice keeps the PPD default", {kDensity, kWeight}, "PrintDensity=7", 0x12, 0x13},
        {"default names no choice", {{"PrintDensity", "5", {"1", "2"}}}, "", 0x11, 0x12},
        {"non-numeric choice", {{"PrintDensity", "Dark", {"Light", "Dark"}}}, "", 0x11, 0x10},
        {"option absent, job option ignored", {}, "PrintDensity=4", 0x11, 0x12},
    };
    for (const Case& c : cases) {
        Settings s = settingsFor(a4(), c.ppd, c.job);
        EXPECT_EQ(s.block, settingsBlock(c.weight, c.density, 4960, 7016)) << c.name;
    }
}

TEST(Settings, CopyCountAndItsCrc)
{
    struct Case {
        unsigned numCopies;
        Bytes command;
    } cases[] = {
        {0, hex("1B 26 6C 01 00 49 25")},      {1, hex("1B 26 6C 01 00 49 25")},
        {2, hex("1B 26 6C 02 00 1A 70")},      {300, hex("1B 26 6C 2C 01 D2 45")},
        {65536, hex("1B 26 6C 01 00 49 25")},  {0x8000, hex("1B 26 6C 01 00 49 25")},
        {0xFFFF, hex("1B 26 6C 01 00 49 25")}, {0x10002, hex("1B 26 6C 02 00 1A 70")},
    };
    for (const Case& c : cases) {
        cups_page_header2_t h = a4();
        h.NumCopies = c.numCopies;
        Bytes block = settingsFor(h).block;
        ASSERT_EQ(block.size(), 43u);
        EXPECT_EQ(Bytes(block.end() - 7, block.end()), c.command) << c.numCopies;
    }
    cups_page_header2_t h = a4();
    h.NumCopies = 0x7FFF;
    EXPECT_EQ(settingsFor(h).block, settingsBlock(0x11, 0x12, 4960, 7016, 0x7FFF));
}

TEST(Settings, PaperSizeInDots)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        const char* name;
        unsigned widthPt, lengthPt;
        float width, length;
        uint32_t dotsWide, dotsHigh;
    } cases[] = {
        {"A4", 595, 842, 595, 842, 4960, 7016},
        {"A5 landscape", 595, 420, 595, 420, 4958, 3512},
        {"A5", 420, 595, 420, 595, 3512, 4958},
        {"B5", 498, 708, 498, 708, 4176, 5908},
        {"A4 landscape by formula", 842, 595, 842, 595, 7016, 4958},
        {"Letter by formula", 612, 792, 612, 792, 5100, 6600},
        {"fractional by formula", 612, 792, 612.5f, 792.25f, 5104, 6602},
        {"negative and NaN", 1, 1, -5.0f, nan, 0, 0},
        {"no cupsPageSize (PWG raster)", 612, 1008, 0.0f, 0.0f, 5100, 8400},
        {"huge and infinite capped", 1, 1, 1e12f, inf, kMaxPaperDots, kMaxPaperDots},
        {"just over 16 bits capped", 1, 1, 7864.32f, 100.0f, kMaxPaperDots, 833},
    };
    for (const Case& c : cases) {
        cups_page_header2_t h = makeHeader(64, 64);
        h.PageSize[0] = c.widthPt;
        h.PageSize[1] = c.lengthPt;
        h.cupsPageSize[0] = c.width;
        h.cupsPageSize[1] = c.length;
        PaperDots dots = paperSizeInDots(h);
        EXPECT_EQ(dots.width, c.dotsWide) << c.name;
        EXPECT_EQ(dots.height, c.dotsHigh) << c.name;
        EXPECT_EQ(settingsFor(h).block, settingsBlock(0x11, 0x12, uint16_t(c.dotsWide), uint16_t(c.dotsHigh)))
            << c.name;
    }
    EXPECT_EQ(pointsToDots(-0.0f), 0u);
    EXPECT_EQ(pointsToDots(-inf), 0u);
    EXPECT_EQ(pointsToDots(6e8f), UINT32_MAX);
}

TEST(Settings, MarginsCentreAcrossAndPutThreeEighthsAbove)
{
    struct Case {
        unsigned width, height;
        uint32_t left, top;
    } cases[] = {
        {4960, 7016, 0, 0}, {4945, 7009, 0, 0}, {4944, 7008, 1, 3}, {4800, 7000, 10, 6},
        {6000, 9000, 0, 0}, {0, 0, 310, 2631},  {1, 1, 309, 2628},
    };
    for (const Case& c : cases) {
        Settings s = settingsFor(a4(c.width, c.height));
        EXPECT_EQ(s.marginLeft, c.left) << c.width;
        EXPECT_EQ(s.marginTop, c.top) << c.height;
    }
    cups_page_header2_t huge = a4(16, 16);
    huge.PageSize[0] = 1;
    huge.cupsPageSize[0] = huge.cupsPageSize[1] = 1e9f;
    Settings s = settingsFor(huge);
    EXPECT_EQ(s.marginLeft, (kMaxPaperDots - 16) >> 4);
    EXPECT_EQ(s.marginTop, ((kMaxPaperDots - 16) >> 3) * 3);
}

TEST(SettingsJob, WholeJobKeepsTheFirstPagesSettings)
{
    TestPpd ppd({{"PrintDensity", "3", {"1", "2", "3"}}});
    cups_page_header2_t first = a4(4800, 6800);
    first.NumCopies = 2;
    cups_page_header2_t second = makePaperHeader(612, 792);
    second.cupsWidth = 4800;
    second.cupsBytesPerLine = 600;
    second.cupsHeight = 10;
    second.NumCopies = 5;
    Bytes dark(600, 0xFF);
    dark[0] = 0x00;
    RasterPage p1{first, {dark}};
    RasterPage p2{second, {dark}};
    p1.lines.resize(first.cupsHeight, Bytes(600, 0xFF));
    p2.lines.resize(second.cupsHeight, Bytes(600, 0xFF));

    ProcessResult r = runFilter(writeRaster({p1, p2}), ppd.path(), "PaperWeight=3");
    EXPECT_EQ(r.status, 0);
    // 10 bytes of left margin, then one dark byte; 81 lines of top margin on both pages.
    Bytes page = cat({kStartPage, times(kBlankLine, 81), frame(hex("F7 00 00 FF")), kEndPage});
    EXPECT_EQ(toHex(r.out), toHex(cat({kInit, settingsBlock(0x11, 0x13, 4960, 7016, 2), page, page})));
}

// The PPD that ppdc built from the driver description has exactly the table's sizes and printable
// areas, and a raster of a printable area's size lands where the table says once the filter's
// margin rule has placed it.
TEST(PaperTable, PpdAndMarginRuleAgreeWithTheTable)
{
    ppd_file_t* ppd = ppdOpenFile(KORVI_PPD_PATH);
    ASSERT_NE(ppd, nullptr);
    ASSERT_EQ(unsigned(ppd->num_sizes), korvi::kPaperCount);
    for (const korvi::Paper& p : korvi::kPapers) {
        ppd_size_t* size = ppdPageSize(ppd, p.ppdName);
        ASSERT_NE(size, nullptr) << p.ppdName;
        EXPECT_EQ(size->width, float(p.widthPt)) << p.ppdName;
        EXPECT_EQ(size->length, float(p.lengthPt)) << p.ppdName;
        const float area[] = {size->left, size->bottom, size->width - size->right, size->length - size->top};
        const unsigned margins[] = {p.left, p.bottom, p.right, p.top};
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(std::lround(area[i] * 100), long(margins[i])) << p.ppdName << " margin " << i;
        ppd_choice_t* choice = ppdFindChoice(ppdFindOption(ppd, "PageSize"), p.ppdName);
        ASSERT_NE(choice, nullptr) << p.ppdName;
        EXPECT_NE(strstr(choice->code, ("/PageSize[" + std::to_string(p.widthPt) + " " + std::to_string(p.lengthPt) +
                                        "]").c_str()), nullptr) << p.ppdName;

        cups_page_header2_t h = makePaperHeader(p.widthPt, p.lengthPt);
        h.cupsWidth = (p.widthPt * 100 - p.left - p.right) * 6 / 72;
        h.cupsHeight = (p.lengthPt * 100 - p.top - p.bottom) * 6 / 72;
        PaperDots paper = paperSizeInDots(h);
        EXPECT_EQ(paper.width, p.widthDots) << p.ppdName;
        EXPECT_EQ(paper.height, p.heightDots) << p.ppdName;
        setPageMargins(h, paper);
        EXPECT_EQ(gMarginLeft * 8, korvi::kPrintableLeftDots) << p.ppdName;
        EXPECT_EQ(gMarginTop, korvi::kPrintableTopDots) << p.ppdName;
        gMarginLeft = gMarginTop = 0;
    }
    ppdClose(ppd);
}
