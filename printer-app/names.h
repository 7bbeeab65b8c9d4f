// The names clients show for the printers (names.cpp says what it mends in PAPPL's).
#pragma once

#include <pappl/pappl.h>

// Gives a new printer its name for clients ("Korvi Laser Printer", numbered when taken) unless it
// has one of its own, and advertises it under that name.
void nameForClients(pappl_printer_t* printer);
