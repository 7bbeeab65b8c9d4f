// Removing a folder that others could write into (a job's temporary folder, which its stages, run
// as another user, fill) without ever following a link: by descriptor, entry by entry.
#pragma once

#include <string>

// Removes `path` and everything below it; a link is removed, never followed, and a folder swapped
// for a link while this runs is not entered. False when something could not be removed.
bool removeTree(const std::string& path);
