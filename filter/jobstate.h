// Process-wide state of the one job this filter process prints.
#pragma once

#include <csignal>
#include <cstdint>

extern int32_t gPage;                 // pages started so far
extern uint32_t gFeed;                // blank lines counted but not yet sent
extern uint32_t gMarginLeft;          // white bytes in front of every line
extern uint32_t gMarginTop;           // blank lines above every page's image
extern unsigned char* szRasterBuf;    // the page's line buffer
extern unsigned char* szCompressBuf;  // the page's encoder output buffer
extern volatile sig_atomic_t gJobCanceled;  // set by SIGTERM: finish the line, close the page, stop
