// Raster jobs (PWG raster, Apple raster): PAPPL hands over each page's 8-bit grey lines; they are
// halftoned to 1 bit and fed to the driver's filter as a CUPS raster stream.
#pragma once

#include <pappl/pappl.h>

// The driver's raster callbacks.
bool rasterStartJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);
bool rasterStartPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device, unsigned page);
bool rasterWriteLine(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device, unsigned y,
                     const unsigned char* line);
bool rasterEndPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device, unsigned page);
bool rasterEndJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);
