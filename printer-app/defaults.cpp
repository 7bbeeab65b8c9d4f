// The default orientation kept beside PAPPL's driver data, and the printer defaults in answers.
#include "defaults.h"

#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "answergroups.h"
#include "savedorientation.h"

namespace {

std::mutex gLock;  // no PAPPL call is made while it is held
std::map<int, ipp_orient_t> gOrientations;  // printer id: its default orientation

std::map<int, ipp_orient_t> keptOrientations()
{
    std::lock_guard<std::mutex> lock(gLock);
    return gOrientations;
}

pappl_printer_t* printerNamed(pappl_system_t* system, const char* name)
{
    struct Search {
        const char* name;
        pappl_printer_t* found = nullptr;
    } search{name};
    papplSystemIteratePrinters(
        system,
        [](pappl_printer_t* printer, void* data) {
            auto& s = *static_cast<Search*>(data);
            if (!s.found && strcmp(papplPrinterGetName(printer), s.name) == 0)
                s.found = printer;
        },
        &search);
    return search.found;
}

// The printer a group of a Get-Printers answer describes, by its printer-id or, when the client
// did not ask for that, its printer-name.
pappl_printer_t* printerOfGroup(pappl_system_t* system, const std::vector<ipp_attribute_t*>& group)
{
    for (ipp_attribute_t* attr : group)
        if (strcmp(ippGetName(attr), "printer-id") == 0)
            return papplSystemFindPrinter(system, nullptr, ippGetInteger(attr, 0), nullptr);
    for (ipp_attribute_t* attr : group)
        if (strcmp(ippGetName(attr), "printer-name") == 0 && ippGetString(attr, 0, nullptr))
            return printerNamed(system, ippGetString(attr, 0, nullptr));
    return nullptr;
}

void showOrientation(ipp_t* response, pappl_printer_t* printer, std::vector<ipp_attribute_t*>& group)
{
    if (!printer)
        return;
    for (ipp_attribute_t*& attr : group)
        if (strcmp(ippGetName(attr), "orientation-requested-default") == 0)
            ippSetInteger(response, &attr, 0, orientationDefault(printer, ipp_orient_t(ippGetInteger(attr, 0))));
}

ipp_attribute_t* lastAttribute(ipp_t* response)
{
    ipp_attribute_t* last = nullptr;
    for (ipp_attribute_t* attr = ippFirstAttribute(response); attr; attr = ippNextAttribute(response))
        last = attr;
    return last;
}

}  // namespace

void keepOrientationDefault(pappl_printer_t* printer, ipp_orient_t orientation)
{
    int id = papplPrinterGetID(printer);
    std::lock_guard<std::mutex> lock(gLock);
    gOrientations[id] = orientation;
}

void undoOrientationDefault(pappl_printer_t* printer, ipp_orient_t set, ipp_orient_t before)
{
    int id = papplPrinterGetID(printer);
    std::lock_guard<std::mutex> lock(gLock);
    if (auto kept = gOrientations.find(id); kept != gOrientations.end() && kept->second == set)
        kept->second = before;
}

ipp_orient_t orientationDefault(pappl_printer_t* printer, ipp_orient_t fallback)
{
    int id = papplPrinterGetID(printer);
    std::lock_guard<std::mutex> lock(gLock);
    auto kept = gOrientations.find(id);
    return kept == gOrientations.end() ? fallback : kept->second;
}

bool saveOrientationDefaults(const char* path)
{
    std::map<int, std::string> keywords;
    for (const auto& [id, orientation] : keptOrientations())
        if (const char* keyword = ippEnumString("orientation-requested", int(orientation)))
            keywords[id] = keyword;
    if (keywords.empty())
        return true;
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in)
        return false;
    in.close();
    std::ofstream out(path, std::ios::trunc);
    out << withOrientationDefaults(text.str(), keywords);
    out.close();
    return bool(out);
}

void showDefaults(pappl_client_t* client)
{
    ipp_t* response = papplClientGetResponse(client);
    if (!response || ippGetStatusCode(response) != IPP_STATUS_OK)
        return;
    std::vector<std::vector<ipp_attribute_t*>> groups = answerGroups(response, IPP_TAG_PRINTER);
    pappl_printer_t* printer = papplClientGetPrinter(client);
    if (papplClientGetOperation(client) != IPP_OP_GET_PRINTER_ATTRIBUTES || !printer) {
        for (auto& group : groups)
            showOrientation(response, printerOfGroup(papplClientGetSystem(client), group), group);
        return;
    }
    if (groups.size() != 1)
        return;
    showOrientation(response, printer, groups[0]);
    // print-darkness-default goes last, into the printer group that ends the answer.
    cups_array_t* requested = ippCreateRequestedArray(papplClientGetRequest(client));
    ipp_attribute_t* last = groups[0].back();
    bool wanted = !requested || cupsArrayFind(requested, const_cast<char*>("print-darkness-default"));
    cupsArrayDelete(requested);
    if (wanted && last == lastAttribute(response)) {
        pappl_pr_driver_data_t data;
        papplPrinterGetDriverData(printer, &data);
        ippAddInteger(response, IPP_TAG_PRINTER, IPP_TAG_INTEGER, "print-darkness-default", data.darkness_default);
    }
}
