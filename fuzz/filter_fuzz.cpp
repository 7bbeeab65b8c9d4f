// Fuzz target: the whole filter on arbitrary raster-stream bytes, in process. Every job must end
// with exit status 0 or 1 and a printer stream that the inspector's strict parser accepts.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver/job.h"
#include "stream.h"

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {

const char kPpd[] =
    "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*LanguageVersion: English\n*LanguageEncoding: ISOLatin1\n"
    "*ModelName: \"Korvi Fuzz\"\n*NickName: \"Korvi Fuzz\"\n"
    "*OpenUI *PrintDensity/Print Density: PickOne\n*DefaultPrintDensity: 2\n"
    "*PrintDensity 1/Light: \"\"\n*PrintDensity 2/Normal: \"\"\n*PrintDensity 3/Dark: \"\"\n*CloseUI: *PrintDensity\n";

ppd_file_t* openPpd()
{
    char path[] = "/tmp/korvi-fuzz-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0 || write(fd, kPpd, sizeof kPpd - 1) != ssize_t(sizeof kPpd - 1))
        abort();
    close(fd);
    ppd_file_t* ppd = ppdOpenFile(path);
    unlink(path);
    if (!ppd)
        abort();
    return ppd;
}

std::vector<uint8_t> readAll(int fd)
{
    std::vector<uint8_t> bytes(size_t(lseek(fd, 0, SEEK_END)));
    if (pread(fd, bytes.data(), bytes.size(), 0) != ssize_t(bytes.size()))
        abort();
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static ppd_file_t* ppd = openPpd();

    int in = memfd_create("raster", 0);
    int out = memfd_create("printer", 0);
    if (in < 0 || out < 0 || write(in, data, size) != ssize_t(size) || lseek(in, 0, SEEK_SET) != 0)
        abort();
    fflush(stdout);
    dup2(out, 1);

    int status = PrintJob(in, ppd, "PrintDensity=3 copies=2");
    fflush(stdout);
    std::vector<uint8_t> stream = readAll(out);
    close(in);
    close(out);

    Stream parsed;
    if ((status != 0 && status != 1) || !parseStream(stream.data(), stream.size(), parsed, ParseOptions{false, false})) {
        fprintf(stderr, "status %d, stream fault: %s\n", status, parsed.fault ? parsed.fault->what.c_str() : "none");
        abort();
    }
    return 0;
}
