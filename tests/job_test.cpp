// Tests of the filter process: arguments, input, PPD, page cycle and exit status.
#include <gtest/gtest.h>

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
