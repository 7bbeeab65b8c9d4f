// A printer's attributes as Get-Printer-Attributes answers them, mended where PAPPL 1.3.1 gets
// them wrong: it fixes printer-info and printer-id when it makes the printer, and so
// - printer-info stays the queue name ("korvi") whatever the printer is called: it is the name
//   clients show, so it follows the DNS-SD name (names.cpp);
// - printer-id is 0 for every printer added since the server started (the id is given only after
//   the attributes are made), and Delete-Printer, PAPPL's own `delete` among them, then finds no
//   printer: it is the printer's id.
// The definition here takes the place of PAPPL's (see interpose.h).
#include <pappl/pappl.h>

#include "interpose.h"

extern "C" void _papplPrinterCopyAttributesNoLock(pappl_printer_t* printer, pappl_client_t* client,
                                                  cups_array_t* ra, const char* format)
{
    static const auto real = nextDefinition("_papplPrinterCopyAttributesNoLock", &_papplPrinterCopyAttributesNoLock);
    real(printer, client, ra, format);
    ipp_t* response = papplClientGetResponse(client);
    char name[256] = "";
    // Made anew, not set: the copied attribute shares the printer's strings, and a string set in
    // it would be kept by reference, not copied.
    ipp_attribute_t* info = ippFindAttribute(response, "printer-info", IPP_TAG_TEXT);
    if (info && papplPrinterGetDNSSDName(printer, name, sizeof name) && *name) {
        ippDeleteAttribute(response, info);
        ippAddString(response, IPP_TAG_PRINTER, IPP_TAG_TEXT, "printer-info", nullptr, name);
    }
    if (ipp_attribute_t* id = ippFindAttribute(response, "printer-id", IPP_TAG_INTEGER))
        ippSetInteger(response, &id, 0, papplPrinterGetID(printer));
}
