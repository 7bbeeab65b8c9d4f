// korvidecode: reads a Korvi printer stream (what rastertokorvilaserprinter sends), checks it
// strictly, prints a listing and writes each page as an image of the paper as printed.
//
// Usage: korvidecode [--verbose] [--images PREFIX] [--format pbm|png] [FILE]
// Reads standard input without FILE. Images are PREFIX-N.pbm or PREFIX-N.png, one per page.
// Exit status: 0 well-formed stream, 1 malformed stream (the listing says where), 2 usage or I/O.
//
// As a virtual printer: korvidecode --listen [ADDRESS:]PORT --output DIR [--max-job-bytes N]
// [--idle-timeout SECONDS] takes print jobs on a TCP port (loopback unless an address is given)
// and keeps each one's stream, listing and page images in DIR (see listen.h).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "listen.h"
#include "listing.h"
#include "pageimage.h"
#include "stream.h"

namespace {

struct Args {
    bool verbose = false;
    std::string imagePrefix;
    std::string format = "pbm";
    std::string input;
    bool listen = false;
    ListenOptions listenOptions;
};

// The usage: asked for with --help, on standard output with status 0; after a wrong call, on
// standard error with status 2.
int usage(FILE* to, int status)
{
    fprintf(to, "usage: korvidecode [--verbose] [--images PREFIX] [--format pbm|png] [FILE]\n"
                "       korvidecode --listen [ADDRESS:]PORT --output DIR [--max-job-bytes N] "
                "[--idle-timeout SECONDS]\n"
                "Lists a Korvi printer stream (FILE, or standard input) and checks it strictly; with\n"
                "--images, writes each page as PREFIX-N.pbm or .png. With --listen, takes print jobs on\n"
                "a TCP port (loopback unless an address is given) and keeps each job's stream, listing\n"
                "and page images in DIR, which is made if it does not exist.\n"
                "Exit status: 0 well-formed, 1 malformed, 2 usage or I/O error.\n");
    return status;
}

bool parseArgs(int argc, char* argv[], Args& a)
{
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--verbose" || arg == "-v")
            a.verbose = true;
        else if (arg == "--images" && i + 1 < argc)
            a.imagePrefix = argv[++i];
        else if (arg == "--format" && i + 1 < argc)
            a.format = argv[++i];
        else if (arg == "--listen" && i + 1 < argc)
            a.listen = parseListenAddress(argv[++i], a.listenOptions);
        else if (arg == "--output" && i + 1 < argc)
            a.listenOptions.outputDir = argv[++i];
        else if (arg == "--max-job-bytes" && i + 1 < argc)
            a.listenOptions.maxJobBytes = strtoull(argv[++i], nullptr, 10);
        else if (arg == "--idle-timeout" && i + 1 < argc)
            a.listenOptions.idleSeconds = atoi(argv[++i]);
        else if (!arg.empty() && arg[0] == '-' && arg != "-")
            return false;
        else if (a.input.empty())
            a.input = arg;
        else
            return false;
    }
    if (a.listen || !a.listenOptions.outputDir.empty())
        return a.listen && !a.listenOptions.outputDir.empty() && a.input.empty() && a.listenOptions.idleSeconds > 0;
    return a.format == "pbm" || a.format == "png";
}

bool readInput(const std::string& path, std::vector<uint8_t>& data)
{
    if (path.empty() || path == "-") {
        data.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        return !std::cin.bad();
    }
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool writeImages(const Stream& stream, const Args& a)
{
    bool ok = true;
    const StreamSettings none;
    const StreamSettings& s = stream.settings ? *stream.settings : none;
    for (size_t i = 0; i < stream.pages.size(); ++i) {
        std::string path = a.imagePrefix + "-" + std::to_string(i + 1) + "." + a.format;
        PageImage image;
        if (!renderPage(stream.pages[i], s.paperWidth, s.paperHeight, image)) {
            printf("Page %zu: image too large to draw, not written\n", i + 1);
            continue;
        }
        bool written = a.format == "png" ? writePng(image, path) : writePbm(image, path);
        printf("Page %zu image: %s (%u x %u dots%s)\n", i + 1, path.c_str(), image.width, image.height,
               image.largerThanPaper ? ", larger than the paper: shown whole" : "");
        if (!written) {
            fprintf(stderr, "korvidecode: cannot write %s\n", path.c_str());
            ok = false;
        }
    }
    return ok;
}

}  // namespace

int main(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i)
        if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0)
            return usage(stdout, 0);
    Args args;
    if (!parseArgs(argc, argv, args))
        return usage(stderr, 2);
    if (args.listen)
        return serveJobs(args.listenOptions);
    std::vector<uint8_t> data;
    if (!readInput(args.input, data)) {
        fprintf(stderr, "korvidecode: cannot read %s\n", args.input.empty() ? "standard input" : args.input.c_str());
        return 2;
    }
    Stream stream;
    ParseOptions options;
    options.keepCommands = args.verbose;
    options.keepLines = !args.imagePrefix.empty();
    bool wellFormed = parseStream(data.data(), data.size(), stream, options);
    printListing(stream, args.input.empty() ? "(standard input)" : args.input, args.verbose, stdout);
    bool imagesOk = args.imagePrefix.empty() || writeImages(stream, args);
    if (!imagesOk)
        return 2;
    return wellFormed ? 0 : 1;
}
