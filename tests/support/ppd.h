// Test toolkit: small PPD files with chosen options.
#pragma once

#include <string>
#include <vector>

#include "support/files.h"

struct PpdOption {
    std::string keyword;               // e.g. "PrintDensity"
    std::string defaultChoice;         // written as *DefaultKeyword
    std::vector<std::string> choices;  // choice keywords
};

// PPD text for a 600-dpi monochrome printer with the given PickOne options.
std::string ppdText(const std::vector<PpdOption>& options);

// A temporary PPD file with the given options.
class TestPpd {
public:
    explicit TestPpd(const std::vector<PpdOption>& options = {});
    const std::string& path() const { return file_.path(); }

private:
    TempFile file_{".ppd"};
};
