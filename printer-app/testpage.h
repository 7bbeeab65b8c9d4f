// The driver's test page: what the web interface's "Print Test Page" prints.
#pragma once

#include <pappl/pappl.h>

#include <cstddef>

// PAPPL's test page callback: writes a one-page PostScript document for the printer's default
// paper into the spool directory (PAPPL removes it with the job) and gives its name in buffer.
// It shows the printable area's border, make, model and version, the paper, a grey ramp and a
// line of text, and prints through the same chain as any job. nullptr when it cannot be written.
const char* korviTestPage(pappl_printer_t* printer, char* buffer, size_t bufsize);
