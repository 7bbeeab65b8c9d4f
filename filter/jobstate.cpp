// Definitions of the job state shared by the driver, the settings and the line encoder.
#include "jobstate.h"

int32_t gPage = 0;
uint32_t gFeed = 0;
uint32_t gMarginLeft = 0;
uint32_t gMarginTop = 0;
unsigned char* szRasterBuf = nullptr;
unsigned char* szCompressBuf = nullptr;
volatile sig_atomic_t gJobCanceled = 0;
