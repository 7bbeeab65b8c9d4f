// The job: its page cycle, and the hooks that open and close the job and each of its pages.
#pragma once

#include <cups/ppd.h>

// Closes the page: writes the end-page command and frees the page's line buffers.
void PageFinish();

// Prints the job read from the raster stream on fd: init command, the settings block before the
// first page, then every page. Returns the exit status: 0 when at least one page was printed
// and all output was written, else 1.
int PrintJob(int fd, ppd_file_t* ppd, const char* options);
