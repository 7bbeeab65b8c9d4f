// Printers their users paused. PAPPL 1.3.1 keeps a pause only in the printer's state, where it
// also puts a printer it stopped by itself (its connection could not be opened), and forgets it
// at a restart. The app keeps which printers were paused (IPP, the web interface, `pause`) apart
// from that state, so that taking a printer out of PAPPL's own stop never resumes a paused one,
// and keeps their ids in a file beside the state file to pause them again at the next start.
#pragma once

#include <pappl/pappl.h>

#include <string>

// The file that holds the ids of paused printers, one a line.
void setPausedFile(const std::string& path);

// A user paused (`paused`) or resumed the printer: called just before PAPPL's own pause or resume.
void notePause(pappl_printer_t* printer, bool paused);

// Whether the app itself is resuming a printer on this thread (not a user's resume).
bool resumingItself();

// Takes a printer out of the stop PAPPL put it in, unless a user paused it (before or meanwhile).
void resumeUnlessPaused(pappl_printer_t* printer);

// Pauses again the printers that were paused when the server last stopped.
void restorePauses(pappl_system_t* system);
