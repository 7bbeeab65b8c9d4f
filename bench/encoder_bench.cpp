// Benchmark of the raster line encoder, every path: ns per line on the real lines of raster
// files (each file's non-blank lines, placed at the filter's margins on their paper, as the filter
// sends them), then on typical synthetic A4 lines, and the whole frame path to /dev/null.
// Usage: encoder_bench [benchmark flags] [NAME=RASTER ...]   (bench/encoder.sh passes the corpora)
#include <benchmark/benchmark.h>
#include <cups/raster.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "jobstate.h"
#include "lines.h"
#include "output/encoder.h"
#include "settings/papersize.h"

namespace {

using Lines = std::vector<std::vector<uint8_t>>;
using Encode = size_t (*)(const unsigned char*, size_t, unsigned char*);

// The lines the filter would encode for this raster file: margin in front, bits past the width
// white, blank lines left out.
Lines readLines(const char* path)
{
    Lines lines;
    int fd = open(path, O_RDONLY);
    if (fd < 0)
        return lines;
    cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_READ);
    cups_page_header2_t h;
    while (cupsRasterReadHeader2(raster, &h)) {
        setPageMargins(h, paperSizeInDots(h));
        std::vector<uint8_t> line(gMarginLeft + h.cupsBytesPerLine, 0xFF);
        for (unsigned y = 0; y < h.cupsHeight; ++y) {
            if (cupsRasterReadPixels(raster, line.data() + gMarginLeft, h.cupsBytesPerLine) == 0)
                break;
            if (h.cupsWidth % 8)
                line[gMarginLeft + h.cupsWidth / 8] |= uint8_t(0xFF >> (h.cupsWidth % 8));
            size_t sent = gMarginLeft + (h.cupsWidth + 7) / 8;
            if (trimmedLength(line.data(), sent) > 0)
                lines.emplace_back(line.begin(), line.begin() + long(sent));
        }
    }
    cupsRasterClose(raster);
    close(fd);
    return lines;
}

void encodeLines(benchmark::State& state, Encode encode, const Lines& lines)
{
    std::vector<uint8_t> out(2 * (kMaxEncodedLineBytes + 1));
    auto start = std::chrono::steady_clock::now();
    for (auto _ : state)
        for (const auto& line : lines)
            benchmark::DoNotOptimize(encode(line.data(), trimmedLength(line.data(), line.size()), out.data()));
    std::chrono::duration<double, std::nano> spent = std::chrono::steady_clock::now() - start;
    state.counters["ns_per_line"] = spent.count() / double(state.iterations()) / double(lines.size());
    state.counters["lines"] = double(lines.size());
}

void sendFrame(benchmark::State& state, std::vector<uint8_t> line)
{
    std::vector<uint8_t> buffer(2 * line.size() + 2);
    szCompressBuf = buffer.data();
    fflush(stdout);
    int saved = dup(1);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    for (auto _ : state)
        benchmark::DoNotOptimize(CompressDataAndSend(line.data(), uint32_t(line.size()), 3));
    fflush(stdout);
    dup2(saved, 1);
    close(saved);
    close(null);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(line.size()));
}

struct Path {
    const char* name;
    Encode encode;
};

const Path kPaths[] = {
    {"plain", encodePayloadPlain},
#ifdef KORVI_SSE2_ENCODER
    {"sse2", encodeLinePayload},  // lines under kVectorMinBytes go the plain way, as in the filter
#endif
};

}  // namespace

int main(int argc, char* argv[])
{
    benchmark::Initialize(&argc, argv);
    static std::vector<std::pair<std::string, Lines>> corpora;
    for (int i = 1; i < argc; ++i) {
        const char* eq = strchr(argv[i], '=');
        if (!eq) {
            fprintf(stderr, "usage: encoder_bench [benchmark flags] [NAME=RASTER ...]\n");
            return 2;
        }
        corpora.emplace_back(std::string(argv[i], size_t(eq - argv[i])), readLines(eq + 1));
    }
    corpora.emplace_back("synthetic_text", Lines{benchlines::text()});
    corpora.emplace_back("synthetic_dithered", Lines{benchlines::dithered()});
    corpora.emplace_back("synthetic_mostly_white", Lines{benchlines::mostlyWhite()});
    corpora.emplace_back("synthetic_all_black", Lines{benchlines::allBlack()});
    for (const auto& [name, lines] : corpora)
        for (const Path& path : kPaths)
            benchmark::RegisterBenchmark((name + "/" + path.name).c_str(), encodeLines, path.encode, lines);
    benchmark::RegisterBenchmark("frame/text", sendFrame, benchlines::text());
    benchmark::RegisterBenchmark("frame/dithered", sendFrame, benchlines::dithered());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
