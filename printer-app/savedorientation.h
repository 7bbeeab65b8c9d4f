// Writing a printer's default orientation into the state file PAPPL wrote (see defaults.h).
#pragma once

#include <map>
#include <string>

// `state` with each printer's "orientation-requested-default" line set to the keyword given for
// its printer id in `keywords` (added at the end of its block where it has none); other printers
// and lines as they were.
std::string withOrientationDefaults(const std::string& state, const std::map<int, std::string>& keywords);
