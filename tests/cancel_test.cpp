// Cancelling a job: CUPS sends SIGTERM. The filter must close the page it is on whole (no frame
// cut, the end-page command sent), start no further page, and end promptly, whether its input
// keeps coming after the signal or is closed at once.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <thread>

#include "stream.h"
#include "support/files.h"
#include "support/ppd.h"
#include "support/process.h"
#include "support/raster.h"

namespace {

RasterPage darkPage()
{
    RasterPage page{makeHeader(4960, 400), {}};
    for (unsigned y = 0; y < 400; ++y) {
        Bytes line(620, 0xFF);
        for (size_t x = y % 7; x < 500; x += 9)
            line[x] = uint8_t(x * 37 + y);
        page.lines.push_back(line);
    }
    return page;
}

// Waits until the file has stopped growing: the filter has sent what it could and waits for input.
void waitUntilStill(const TempFile& out)
{
    size_t last = 0;
    for (int still = 0, tries = 0; still < 30 && tries < 2000; ++tries) {
        usleep(10000);
        size_t now = out.read().size();
        still = (now == last && now > 0) ? still + 1 : 0;
        last = now;
    }
}

void writeAll(int fd, const uint8_t* data, size_t size)
{
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n <= 0)
            return;  // the filter has gone: the rest of the job is not needed
        data += n;
        size -= size_t(n);
    }
}

}  // namespace

TEST(Cancel, SigtermClosesThePageItIsOnAndEndsTheJob)
{
    signal(SIGPIPE, SIG_IGN);
    TestPpd ppd;
    const RasterPage page = darkPage();
    const Bytes one = writeRaster({page}, CUPS_RASTER_WRITE);
    const Bytes job = writeRaster({page, page, page, page}, CUPS_RASTER_WRITE);
    const Bytes onePageOut = runFilter(one, ppd.path()).out;
    struct Case {
        const char* name;
        size_t fed;        // bytes of the job given before the signal
        bool keepFeeding;  // the rest of the job follows the signal, or the input is closed
        size_t pages;
    } cases[] = {
        {"in page 2, input goes on", one.size() + one.size() / 2, true, 2},
        {"in page 2, input closed", one.size() + one.size() / 2, false, 2},
        {"between pages, input goes on", one.size(), true, 1},
        {"between pages, input closed", one.size(), false, 1},
    };
    for (const Case& c : cases) {
        TempFile out;
        ProcessCall call;
        call.argv = filterArgs();
        call.ppd = ppd.path();
        call.stdoutPath = out.path();
        PipedProcess filter = startPiped(call);
        writeAll(filter.stdinFd, job.data(), c.fed);
        waitUntilStill(out);

        kill(filter.pid, SIGTERM);
        std::thread rest;
        if (c.keepFeeding)
            rest = std::thread(writeAll, filter.stdinFd, job.data() + c.fed, job.size() - c.fed);
        else
            close(filter.stdinFd);
        int status = waitWithin(filter, 1.0);
        if (rest.joinable()) {
            rest.join();
            close(filter.stdinFd);
        }

        EXPECT_EQ(status, 0) << c.name << " (-1: still running a second after the signal)";
        Bytes printed = out.read();
        Stream stream;
        EXPECT_TRUE(parseStream(printed.data(), printed.size(), stream)) << c.name;
        ASSERT_EQ(stream.pages.size(), c.pages) << c.name;
        EXPECT_TRUE(stream.pages.back().ended) << c.name;
        if (c.pages == 1)
            EXPECT_EQ(printed, onePageOut) << c.name;
        else
            EXPECT_LT(stream.pages.back().frames, 400u) << c.name;  // every line of the page is dark
    }
}
