// Writing printers' default orientations into a state file PAPPL wrote. A printer's block starts
// "<Printer ... id="N" ...>" and ends "</Printer>"; PAPPL reads the default orientation from a
// line "orientation-requested-default KEYWORD" inside it.
#include "savedorientation.h"

#include <cups/cups.h>

#include <cstdlib>
#include <sstream>

namespace {

constexpr const char* kName = "orientation-requested-default";

// The printer id of a "<Printer ...>" line, or 0 for any other line. Its values are quoted
// options in any order (PAPPL sorts them by name), read as PAPPL reads them back.
int printerIdOf(const std::string& line)
{
    static const std::string start = "<Printer ";
    if (line.compare(0, start.size(), start) != 0 || line.back() != '>')
        return 0;
    std::string values = line.substr(start.size(), line.size() - start.size() - 1);
    cups_option_t* options = nullptr;
    int count = cupsParseOptions(values.c_str(), 0, &options);
    const char* id = cupsGetOption("id", count, options);
    int printerId = id ? std::atoi(id) : 0;
    cupsFreeOptions(count, options);
    return printerId;
}

bool isOrientationLine(const std::string& line)
{
    return line.compare(0, std::char_traits<char>::length(kName), kName) == 0 &&
           line.size() > std::char_traits<char>::length(kName) && line[std::char_traits<char>::length(kName)] == ' ';
}

}  // namespace

std::string withOrientationDefaults(const std::string& state, const std::map<int, std::string>& keywords)
{
    std::istringstream in(state);
    std::string out, line;
    const std::string* keyword = nullptr;  // the value for the printer whose block this is
    bool written = false;
    while (std::getline(in, line)) {
        if (int id = printerIdOf(line)) {
            auto found = keywords.find(id);
            keyword = found == keywords.end() ? nullptr : &found->second;
            written = false;
        } else if (keyword && isOrientationLine(line)) {
            line = std::string(kName) + " " + *keyword;
            written = true;
        } else if (keyword && line == "</Printer>") {
            if (!written)
                out += std::string(kName) + " " + *keyword + "\n";
            keyword = nullptr;
        }
        out += line + "\n";
    }
    return out;
}
