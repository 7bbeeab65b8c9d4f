// Raster documents (PWG raster, Apple raster) spooled to a file rather than streamed from their
// client (spool.h says when), printed through the same raster callbacks as a streamed one.
#pragma once

#include <pappl/pappl.h>

// PAPPL's filter callback for a spooled image/pwg-raster or image/urf document.
bool printRasterFile(pappl_job_t* job, pappl_device_t* device, void* data);
