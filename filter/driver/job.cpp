// Job and page hooks. Page start, page end and the init command are not flushed by themselves;
// they leave with the next line frame, the settings block or the job's final flush.
#include "driver/job.h"

#include <cstdio>
#include <cstdlib>

#include "jobstate.h"
#include "output/commands.h"
#include "output/output.h"

void JobSetup()
{
    putCharArray(szInitCmd, sizeof szInitCmd);
}

void PageSetup()
{
    putCharArray(szStartPageCmd, sizeof szStartPageCmd);
    gFeed = 0;
}

void PageFinish()
{
    putCharArray(szEndPageCmd, sizeof szEndPageCmd);
    if (szRasterBuf)
        free(szRasterBuf);
    if (szCompressBuf)
        free(szCompressBuf);
    szRasterBuf = nullptr;
    szCompressBuf = nullptr;
}

// Flushes the job out. Returns non-zero when anything written to standard output was lost
// (closed pipe, full disk), so the caller can report the job as failed.
int JobFinish()
{
    int flushed = fflush(stdout);
    return flushed != 0 || ferror(stdout) != 0;
}
