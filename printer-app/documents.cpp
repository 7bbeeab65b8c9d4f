// Document jobs: each format has its chain of CUPS's converters, as cupsd would run them for this
// PPD, ending in the driver's filter; the filter's output goes to the printer as it comes.
#include "documents.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "chain.h"
#include "darkness.h"
#include "defaults.h"
#include "driver.h"
#include "options.h"
#include "paths.h"
#include "printercommands.h"
#include "rasterfile.h"

namespace {

constexpr int kCountSeconds = 30;  // for ghostscript to count a PDF's pages

// The converters for a format, before the filter; none for a format the app does not take.
std::vector<std::string> convertersFor(const char* format)
{
    const std::string dir = korviPaths().cupsFilters + "/";
    if (strcmp(format, "application/pdf") == 0)
        return {dir + "pdftopdf", dir + "gstoraster"};
    // PostScript takes CUPS's own way, through PDF, so that every layout option works on it too.
    if (strcmp(format, "application/postscript") == 0)
        return {dir + "gstopdf", dir + "pdftopdf", dir + "gstoraster"};
    if (strcmp(format, "image/jpeg") == 0 || strcmp(format, "image/png") == 0)
        return {dir + "imagetoraster"};
    return {};
}

const char* scalingKeyword(pappl_scaling_t scaling)
{
    switch (scaling) {
    case PAPPL_SCALING_AUTO: return "auto";
    case PAPPL_SCALING_AUTO_FIT: return "auto-fit";
    case PAPPL_SCALING_FILL: return "fill";
    case PAPPL_SCALING_FIT: return "fit";
    case PAPPL_SCALING_NONE: return "none";
    default: return nullptr;
    }
}

// The pages of a PDF document as ghostscript counts them (it reads no page for that), or 0 when it
// cannot tell.
unsigned pdfPages(const char* path)
{
    int document = path ? open(path, O_RDONLY | O_CLOEXEC) : -1;
    if (document < 0)
        return 0;
    std::string said;
    bool ran = runProgram({"/usr/bin/gs", "-q", "-dNODISPLAY", "-dSAFER", "-dPDFINFO", "-dFirstPage=1",
                           "-dLastPage=1", "-"},
                          document, kCountSeconds, said);
    close(document);
    static const char kSays[] = "File has ";
    size_t at = said.find(kSays);
    return ran && at != std::string::npos ? unsigned(strtoul(said.c_str() + at + sizeof kSays - 1, nullptr, 10)) : 0;
}

// Whether the job prints one page of its document: its copies are then the same paper collated or
// not. Told for images (one page) and PDF; never for PostScript, whose pages only printing counts.
bool printsOnePage(pappl_job_t* job, const pappl_pr_options_t* options, const char* format)
{
    unsigned pages = 0;
    if (strcmp(format, "image/jpeg") == 0 || strcmp(format, "image/png") == 0)
        pages = 1;
    else if (strcmp(format, "application/pdf") == 0)
        pages = pdfPages(papplJobGetFilename(job));
    unsigned first = options->first_page > 0 ? options->first_page : 1;
    return pages > 0 && first <= pages && (options->last_page <= first || pages == first);
}

// The job's layout as CUPS's converters take it (pdftopdf, imagetoraster): orientation, scaling,
// and collation. Collated copies of a document are made by pdftopdf, which then renders and sends
// each copy: the printer's copy count repeats each page, so it makes uncollated copies, and the
// copies of a job that prints one page, rendered once.
std::string layoutOptions(pappl_job_t* job, const pappl_pr_options_t* options)
{
    std::string text;
    // An orientation the job asks for (or a default other than the shipped portrait) turns the
    // page as IPP says, and pdftopdf then leaves it so; otherwise each page is turned to fit the
    // paper as it needs, as CUPS does.
    ipp_attribute_t* asked = papplJobGetAttribute(job, "orientation-requested");
    int orientation = asked ? ippGetInteger(asked, 0)
                          : int(orientationDefault(papplJobGetPrinter(job), options->orientation_requested));
    bool turned = false;
    if (orientation >= IPP_ORIENT_PORTRAIT && orientation <= IPP_ORIENT_REVERSE_PORTRAIT &&
        (asked || orientation != IPP_ORIENT_PORTRAIT)) {
        text += " orientation-requested=" + std::to_string(orientation) + " nopdfAutoRotate";
        turned = orientation == IPP_ORIENT_LANDSCAPE || orientation == IPP_ORIENT_REVERSE_LANDSCAPE;
    }
    // pdftopdf judges auto scaling on the page before it turns it: a portrait page turned to
    // landscape would be cut off at both sides. Turned pages are fitted instead.
    const char* scaling = scalingKeyword(options->print_scaling);
    if (turned && scaling && (strcmp(scaling, "auto") == 0 || strcmp(scaling, "auto-fit") == 0))
        scaling = "fit";
    if (scaling)
        text += std::string(" print-scaling=") + scaling;
    ipp_attribute_t* handling = papplJobGetAttribute(job, "multiple-document-handling");
    const char* keyword = handling ? ippGetString(handling, 0, nullptr) : nullptr;
    bool uncollated = (keyword && strcmp(keyword, "separate-documents-uncollated-copies") == 0) ||
                      (options->copies > 1 && printsOnePage(job, options, papplJobGetFormat(job)));
    text += std::string(" multiple-document-handling=") +
            (uncollated ? "separate-documents-uncollated-copies" : "separate-documents-collated-copies");
    return text;
}

bool printDocument(pappl_job_t* job, pappl_device_t* device, void*)
{
    if (!jobBegins(job, device))
        return false;
    const char* format = papplJobGetFormat(job);
    std::vector<std::string> stages = convertersFor(format);
    if (stages.empty()) {
        papplJobSetMessage(job, "Documents of type %s cannot be printed.", format);
        return false;
    }
    stages.push_back(korviPaths().filter);
    int document = open(papplJobGetFilename(job), O_RDONLY | O_CLOEXEC);
    if (document < 0) {
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Cannot open %s: %s", papplJobGetFilename(job), strerror(errno));
        papplJobSetMessage(job, "The document could not be read.");
        return false;
    }
    pappl_pr_options_t* options = papplJobCreatePrintOptions(job, 0, false);
    Chain chain;
    chain.countPages = true;
    if (options->first_page > 1 || options->last_page < unsigned(INT_MAX))
        chain.noPageMessage = "No page of the document is in the page range " + std::to_string(options->first_page) +
                              "-" + std::to_string(options->last_page) + "; nothing was printed.";
    ChainJob what = chainJob(job, options, format);
    what.options += layoutOptions(job, options);
    bool printed = startChain(chain, stages, what, document);
    close(document);
    papplJobDeletePrintOptions(options);
    if (!printed) {
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "The conversion could not be started: %s", chain.failure.c_str());
        papplJobSetMessage(job, "The conversion could not be started.");
        return false;
    }
    return jobEnds(job, device, runChain(chain, job, device));
}

// PAPPL asks this for a document sent as application/octet-stream that it could not type: a
// stream that starts with the printer's init command is in the printer's own format.
const char* recogniseKorviStream(const unsigned char* header, size_t size, void*)
{
    bool korvi = size >= sizeof korvi::kInitCmd && memcmp(header, korvi::kInitCmd, sizeof korvi::kInitCmd) == 0;
    return korvi ? kKorviFormat : nullptr;
}

}  // namespace

std::string ppdOptions(const pappl_pr_options_t* options)
{
    std::string text = std::string("media=") + ppdPageSize(options->media.size_name) +
                       " PrintDensity=" + std::to_string(printDensity(options->print_darkness, options->darkness_configured)) +
                       " PaperWeight=" + std::to_string(paperWeight(options->media.type));
    if (options->first_page > 1 || options->last_page < unsigned(INT_MAX))
        text += " page-ranges=" + std::to_string(options->first_page) + "-" + std::to_string(options->last_page);
    return text;
}

ChainJob chainJob(pappl_job_t* job, const pappl_pr_options_t* options, const char* contentType)
{
    ChainJob c;
    c.id = std::to_string(papplJobGetID(job));
    c.user = papplJobGetUsername(job) ? papplJobGetUsername(job) : "anonymous";
    c.title = papplJobGetName(job) ? papplJobGetName(job) : "untitled";
    c.copies = options->copies > 0 ? options->copies : 1;
    // The printer's darkness as it stands now, and the job's own relative to it.
    pappl_printer_t* printer = papplJobGetPrinter(job);
    pappl_pr_driver_data_t data;
    papplPrinterGetDriverData(printer, &data);
    pappl_pr_options_t darkness = *options;
    darkness.darkness_configured = data.darkness_configured;
    darkness.print_darkness = jobDarkness(job);
    c.options = ppdOptions(&darkness);
    c.contentType = contentType;
    return c;
}

void addDocumentFilters(pappl_system_t* system)
{
    papplSystemSetMIMECallback(system, recogniseKorviStream, nullptr);
    for (const char* format : {"application/pdf", "application/postscript", "image/jpeg", "image/png"})
        papplSystemAddMIMEFilter(system, format, kKorviFormat, printDocument, nullptr);
    // Streamed raster needs none; spooled raster (spool.h) is printed from its file.
    for (const char* format : {"image/pwg-raster", "image/urf"})
        papplSystemAddMIMEFilter(system, format, kKorviFormat, printRasterFile, nullptr);
}
