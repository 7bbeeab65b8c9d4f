// The one driver of the Printer Application, korvi_laser: what a Korvi laser printer can do, as
// IPP clients see it.
#pragma once

#include <pappl/pappl.h>

constexpr const char* kKorviDriverName = "korvi_laser";
constexpr const char* kKorviDriverDescription = "Korvi Laser Printer";

// PAPPL's driver callback: fills in the printer's capabilities and callbacks.
bool korviDriver(pappl_system_t* system, const char* driverName, const char* deviceUri, const char* deviceId,
                 pappl_pr_driver_data_t* data, ipp_t** attrs, void* cbData);

// PAPPL's printer creation callback: the queue's limit; the toner, of unknown level.
void korviPrinterCreated(pappl_printer_t* printer, void* cbData);

// Every job's first step once PAPPL has its printer connection open, whatever its format: a
// connection of its own, the printer online, the state saved. False when the job was cancelled
// while its connection was made.
bool jobBegins(pappl_job_t* job, pappl_device_t* device);

// Every job's last step once it began: its printer connection is closed. Returns `printed`.
bool jobEnds(pappl_job_t* job, pappl_device_t* device, bool printed);
