// Benchmark of the raster line encoder on typical 600-dpi A4 lines, in bytes of raster per second:
// the payload encoder alone, and the whole frame path to /dev/null with its flush per line.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "jobstate.h"
#include "lines.h"
#include "output/encoder.h"

namespace {

void encodeOnly(benchmark::State& state, std::vector<uint8_t> line)
{
    std::vector<uint8_t> out(2 * line.size() + 2);
    for (auto _ : state) {
        size_t t = trimmedLength(line.data(), line.size());
        benchmark::DoNotOptimize(encodeLinePayload(line.data(), t, out.data()));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(line.size()));
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

}  // namespace

BENCHMARK_CAPTURE(encodeOnly, text, benchlines::text());
BENCHMARK_CAPTURE(encodeOnly, dithered, benchlines::dithered());
BENCHMARK_CAPTURE(encodeOnly, mostly_white, benchlines::mostlyWhite());
BENCHMARK_CAPTURE(encodeOnly, all_black, benchlines::allBlack());
BENCHMARK_CAPTURE(sendFrame, text, benchlines::text());
BENCHMARK_CAPTURE(sendFrame, dithered, benchlines::dithered());
BENCHMARK_CAPTURE(sendFrame, mostly_white, benchlines::mostlyWhite());
BENCHMARK_CAPTURE(sendFrame, all_black, benchlines::allBlack());

BENCHMARK_MAIN();
