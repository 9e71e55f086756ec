// Reading a configuration file line by line: the speed, and that memory stays
// flat whatever the file's size (the peak resident size is reported).

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <string>

#include "config/parameter_file.h"
#include "config/parameter_line.h"

namespace {

const char* kPath = "parameter_file_bench.dat";

void WriteLines(long lines) {
  std::FILE* out = std::fopen(kPath, "wb");
  if (out == nullptr) return;
  for (long i = 0; i < lines; ++i) std::fputs("Lamp Mins  Last 0x0002DA5E\r\n", out);
  std::fclose(out);
}

long PeakResidentKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

void BM_ReadAndCheckFile(benchmark::State& state) {
  const long lines = state.range(0);
  WriteLines(lines);
  long read = 0;
  for (auto _ : state) {
    rv4410::ParameterFileReader reader;
    if (!reader.Open(kPath)) {
      state.SkipWithError("cannot open the file");
      return;
    }
    std::string line;
    while (reader.ReadLine(line) != rv4410::FileLine::kEnd) {
      benchmark::DoNotOptimize(rv4410::CheckParameterLine(line));
      ++read;
    }
  }
  state.SetItemsProcessed(read);
  state.counters["peak_rss_kb"] = static_cast<double>(PeakResidentKb());
  std::remove(kPath);
}
BENCHMARK(BM_ReadAndCheckFile)->Arg(138)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
