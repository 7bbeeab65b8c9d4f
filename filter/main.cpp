// rastertokorvilaserprinter: CUPS filter that turns a 1-bit, 600-dpi CUPS raster job into the
// command stream of Korvi monochrome laser printers.
//
// Usage (by the CUPS scheduler): rastertokorvilaserprinter job user title copies options [file]
// The printer's PPD is named by the PPD environment variable. Exit status 0 when at least one
// page was printed and the output was written whole, 1 otherwise. The filter writes no messages.
#include <cups/ppd.h>  // the PPD API is deprecated upstream but is what CUPS drivers use
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "driver/job.h"
#include "jobstate.h"

namespace {

void OnCancel(int)
{
    gJobCanceled = 1;
}

// CUPS cancels a job with SIGTERM. Dying at once would leave the printer inside a page, taking the
// next job's commands for raster; instead the filter finishes the line it is on, closes the page
// and stops. SA_RESTART keeps reads and writes going, so no frame is cut short.
void CatchCancel()
{
    struct sigaction action {};
    action.sa_handler = OnCancel;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

int main(int argc, char* argv[])
{
    setbuf(stderr, nullptr);
    // A backend that goes away must not kill the filter: the write fails, and the job's exit
    // status says so.
    signal(SIGPIPE, SIG_IGN);
    CatchCancel();

    if (argc != 6 && argc != 7)
        return 1;

    int fd = 0;
    if (argc == 7) {
        fd = open(argv[6], O_RDONLY);
        if (fd < 0) {
            sleep(1);
            return 1;
        }
    }

    const char* ppdPath = getenv("PPD");
    ppd_file_t* ppd = ppdPath ? ppdOpenFile(ppdPath) : nullptr;
    if (!ppd) {
        if (argc == 7)
            close(fd);
        return 1;
    }

    int status = PrintJob(fd, ppd, argv[5]);

    ppdClose(ppd);
    if (argc == 7)
        close(fd);
    return status;
}
