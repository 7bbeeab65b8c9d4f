// Tests of the filter process: arguments, input, PPD, page cycle and exit status.
#include <gtest/gtest.h>

#include <cstring>

#include "stream.h"
#include "support/files.h"
#include "support/ppd.h"
#include "support/process.h"
#include "support/raster.h"
#include "support/stream.h"

namespace {

Bytes onePage()
{
    return writeRaster({whitePage(makeHeader(64, 4))});
}

}  // namespace

TEST(FilterArguments, WrongArgumentCountOrUnusableInputGiveStatusOneAndNoOutput)
{
    TestPpd ppd;
    TempFile raster;
    raster.write(onePage());
    std::vector<std::string> five = filterArgs();
    five.pop_back();
    std::vector<std::string> eight = filterArgs();
    eight.push_back(raster.path());
    eight.push_back("extra");
    std::vector<std::string> missingFile = filterArgs();
    missingFile.push_back("/nonexistent/job.ras");

    struct Case {
        const char* name;
        std::vector<std::string> argv;
        std::optional<std::string> ppd;
    } cases[] = {
        {"five arguments", five, ppd.path()},
        {"eight arguments", eight, ppd.path()},
        {"input file cannot be opened", missingFile, ppd.path()},
        {"PPD unset", filterArgs(), std::nullopt},
        {"PPD unreadable", filterArgs(), std::string("/nonexistent/printer.ppd")},
    };
    for (const Case& c : cases) {
        ProcessCall call;
        call.argv = c.argv;
        call.ppd = c.ppd;
        call.stdinPath = raster.path();
        ProcessResult r = runProcess(call);
        EXPECT_EQ(r.status, 1) << c.name;
        EXPECT_TRUE(r.out.empty()) << c.name;
    }
}

TEST(FilterJob, NoPageGivesInitOnlyAndStatusOne)
{
    TestPpd ppd;
    struct Case {
        const char* name;
        Bytes input;
    } cases[] = {
        {"empty input", {}},
        {"stream with no pages", writeRaster({})},
        {"not a raster stream", Bytes{'h', 'e', 'l', 'l', 'o'}},
    };
    for (const Case& c : cases) {
        ProcessResult r = runFilter(c.input, ppd.path());
        EXPECT_EQ(r.status, 1) << c.name;
        EXPECT_EQ(r.out, kInit) << c.name;
    }
}

TEST(FilterJob, InputFromFileArgumentMatchesStandardInput)
{
    TestPpd ppd;
    TempFile raster;
    raster.write(writeRaster({whitePage(makeHeader(64, 4)), whitePage(makeHeader(64, 4))}));
    ProcessCall viaStdin{filterArgs(), ppd.path(), raster.path(), ""};
    std::vector<std::string> args = filterArgs();
    args.push_back(raster.path());
    ProcessCall viaFile{args, ppd.path(), "/dev/null", ""};
    ProcessResult a = runProcess(viaStdin);
    ProcessResult b = runProcess(viaFile);
    EXPECT_EQ(a.status, 0);
    EXPECT_EQ(b.status, 0);
    EXPECT_EQ(a.out, b.out);
    EXPECT_FALSE(a.out.empty());
}

TEST(FilterJob, OutputThatCannotBeWrittenGivesStatusOne)
{
    TestPpd ppd;
    TempFile raster;
    raster.write(onePage());
    ProcessCall call{filterArgs(), ppd.path(), raster.path(), "/dev/full"};
    EXPECT_EQ(runProcess(call).status, 1);
}

TEST(FilterJob, EveryPageIsOpenedAndClosedOnce)
{
    TestPpd ppd;
    const RasterPage page = whitePage(makeHeader(64, 4));
    ProcessResult one = runFilter(writeRaster({page}), ppd.path());
    EXPECT_EQ(one.status, 0);
    EXPECT_EQ(one.out, cat({kInit, defaultA4Settings(), kStartPage, kEndPage}));
    ProcessResult two = runFilter(writeRaster({page, page}), ppd.path());
    EXPECT_EQ(two.status, 0);
    EXPECT_EQ(two.out, cat({kInit, defaultA4Settings(), kStartPage, kEndPage, kStartPage, kEndPage}));
}

// Only 1-bit pages whose set bit is white (W, sW) or black (K) can be printed. Any other page is
// not started: the job ends after the pages before it, well-formed, with status 1.
TEST(FilterJob, PagesThePrinterCannotShowEndTheJob)
{
    struct Kind {
        const char* name;
        unsigned space;  // any number may arrive in a stream
        unsigned bitsPerColor, bitsPerPixel;
        bool printable;
    } kinds[] = {
        {"W 1 bit", CUPS_CSPACE_W, 1, 1, true},     {"sW 1 bit", CUPS_CSPACE_SW, 1, 1, true},
        {"K 1 bit", CUPS_CSPACE_K, 1, 1, true},     {"W 2 bits", CUPS_CSPACE_W, 2, 2, false},
        {"sW 8 bits", CUPS_CSPACE_SW, 8, 8, false}, {"K 8 bits", CUPS_CSPACE_K, 8, 8, false},
        {"RGB 24 bits", CUPS_CSPACE_RGB, 8, 24, false}, {"RGB 1 bit", CUPS_CSPACE_RGB, 1, 1, false},
        {"no colour space at all", 0x28000000, 1, 1, false},
    };
    TestPpd ppd;
    const RasterPage good{makeHeader(64, 2), {Bytes(8, 0x0F), Bytes(8, 0xF0)}};
    for (const Kind& k : kinds) {
        cups_page_header2_t h = makeHeader(64, 2, 64 * k.bitsPerPixel / 8);
        memcpy(&h.cupsColorSpace, &k.space, sizeof k.space);
        h.cupsBitsPerColor = k.bitsPerColor;
        h.cupsBitsPerPixel = k.bitsPerPixel;
        h.cupsNumColors = k.space == CUPS_CSPACE_RGB ? 3 : 1;
        const RasterPage page{h, {Bytes(h.cupsBytesPerLine, 0x5A), Bytes(h.cupsBytesPerLine, 0xA5)}};
        for (bool afterGood : {false, true}) {
            std::string name = std::string(k.name) + (afterGood ? " after a good page" : " alone");
            std::vector<RasterPage> pages = {page};
            if (afterGood)
                pages.insert(pages.begin(), good);
            ProcessResult r = runFilter(writeRaster(pages), ppd.path());
            Stream stream;
            EXPECT_TRUE(parseStream(r.out.data(), r.out.size(), stream)) << name;
            EXPECT_EQ(r.status, k.printable ? 0 : 1) << name;
            EXPECT_EQ(stream.pages.size(), size_t(afterGood) + size_t(k.printable)) << name;
        }
    }
}

// A K page prints the dots of the W page that mirrors it, byte for byte, blank lines and a
// partial last byte (whose bits past the width are 0 in both) included.
TEST(FilterJob, BlackIsSetPagePrintsAsTheWhiteIsSetPageItMirrors)
{
    TestPpd ppd;
    const std::vector<Bytes> kLines = {{0x00, 0x00}, {0x80, 0x08}, {0xFF, 0xF8}, {0x00, 0x00}, {0x3C, 0x00}};
    RasterPage k{makeHeader(13, 5), kLines};
    k.header.cupsColorSpace = CUPS_CSPACE_K;
    RasterPage w{makeHeader(13, 5), {}};
    for (const Bytes& line : kLines)
        w.lines.push_back({uint8_t(~line[0]), uint8_t(~line[1] & 0xF8)});
    ProcessResult fromK = runFilter(writeRaster({k}), ppd.path());
    ProcessResult fromW = runFilter(writeRaster({w}), ppd.path());
    EXPECT_EQ(fromK.status, 0);
    EXPECT_EQ(fromK.out, fromW.out);
    Stream stream;
    ASSERT_TRUE(parseStream(fromK.out.data(), fromK.out.size(), stream));
    EXPECT_EQ(stream.pages.at(0).frames, 3u);  // the blank lines were folded, not sent as frames
}
