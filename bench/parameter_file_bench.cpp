// Reading a configuration file line by line: the speed, and that memory stays
// flat whatever the file's size (the peak resident size is reported). Saving
// one: the file written in place as before, against the temporary file put in
// its place on the disk with the earlier content kept, and a whole Read
// Configuration of the unit's 138 lines in virtual time.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "config/parameter_file.h"
#include "config/parameter_line.h"
#include "config/read_configuration.h"
#include "platform/virtual_host.h"
#include "protocol/run_state.h"
#include "sim/configuration_exchange.h"
#include "sim/in_memory_line.h"
#include "sim/unit_model.h"

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

const char* kSavedPath = "parameter_file_bench_saved.dat";
constexpr int kUnitLines = 138;

void RemoveSavedFiles() {
  std::error_code ignored;
  std::filesystem::remove(kSavedPath, ignored);
  for (int n = 1; n < 100; ++n) {
    std::filesystem::remove(std::string(kSavedPath) + "." + std::to_string(n), ignored);
  }
}

// As the file was written before: truncated in place, flushed after each line.
void BM_SaveInPlace(benchmark::State& state) {
  for (auto _ : state) {
    std::FILE* out = std::fopen(kSavedPath, "wb");
    if (out == nullptr) {
      state.SkipWithError("cannot create the file");
      return;
    }
    for (int i = 0; i < kUnitLines; ++i) {
      std::fputs("Lamp Mins  Last 0x0002DA5E\r\n", out);
      std::fflush(out);
    }
    std::fclose(out);
  }
  RemoveSavedFiles();
}
BENCHMARK(BM_SaveInPlace)->Unit(benchmark::kMillisecond);

// A temporary file beside it, flushed to the disk, the earlier content kept
// as a numbered file and the new one renamed into place.
void BM_SaveAndReplace(benchmark::State& state) {
  RemoveSavedFiles();
  for (auto _ : state) {
    state.PauseTiming();
    std::error_code ignored;
    std::filesystem::remove(std::string(kSavedPath) + ".1", ignored);
    state.ResumeTiming();
    rv4410::ParameterFileWriter writer;
    if (!writer.Create(kSavedPath)) {
      state.SkipWithError("cannot create the file");
      return;
    }
    for (int i = 0; i < kUnitLines; ++i) writer.WriteLine("Lamp Mins  Last 0x0002DA5E");
    if (!writer.Commit().done) {
      state.SkipWithError("cannot replace the file");
      return;
    }
  }
  RemoveSavedFiles();
}
BENCHMARK(BM_SaveAndReplace)->Unit(benchmark::kMillisecond);

// The whole read against the simulated unit (checked exchange, 138 lines) in
// virtual time: what the loader itself spends, file replace included.
void BM_ReadConfiguration138Lines(benchmark::State& state) {
  RemoveSavedFiles();
  rv4410::VirtualHost host;
  rv4410::RunState run(host, "parameter_file_bench.log");
  run.settings.configFile = kSavedPath;
  for (auto _ : state) {
    state.PauseTiming();
    std::error_code ignored;
    std::filesystem::remove(std::string(kSavedPath) + ".1", ignored);
    rv4410::SerialClose(run.link);
    auto unit = std::make_unique<rv4410::sim::UnitModel>();
    auto line = std::make_unique<rv4410::sim::InMemoryLine>(host, *unit);
    unit->Make<rv4410::sim::ConfigurationExchange>();
    rv4410::SerialOpen(run.link);
    state.ResumeTiming();
    if (!rv4410::ReadConfiguration(run).Done()) {
      state.SkipWithError("the read failed");
      return;
    }
    state.PauseTiming();
    rv4410::SerialClose(run.link);
    line.reset();
    state.ResumeTiming();
  }
  RemoveSavedFiles();
  std::remove("parameter_file_bench.log");
}
BENCHMARK(BM_ReadConfiguration138Lines)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
