// Throughput of the CRC and of the two data-file readers, and the readers'
// peak memory beyond the image they build.

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "checksum/crc32.h"
#include "datafiles/map_file.h"
#include "datafiles/program_file.h"
#include "platform/virtual_host.h"

namespace rv4410 {
namespace {

constexpr std::size_t kMiB = 1 << 20;

std::uint8_t PatternByte(std::size_t index) {
  std::uint32_t x = static_cast<std::uint32_t>(index) * 2654435761u;
  return static_cast<std::uint8_t>(x >> 24 ^ x >> 11);
}

void FillPattern(std::uint8_t* bytes, std::size_t from, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) bytes[i] = PatternByte(from + i);
}

// A line of /proc/self/status ("VmRSS:", "VmHWM:") in bytes.
std::size_t StatusBytes(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  std::size_t keyLength = std::char_traits<char>::length(key);
  while (std::getline(status, line)) {
    if (line.compare(0, keyLength, key) == 0) return std::stoul(line.substr(keyLength)) * 1024;
  }
  return 0;
}

// Starts the peak (VmHWM) afresh at the present resident size.
bool ResetPeak() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return clear.good();
}

std::string TempPath(const char* name) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir != nullptr ? dir : "/tmp") + "/" + name + "-" + std::to_string(getpid());
}

// A program image of `length` bytes (newer layout) written as hex text a
// piece at a time, so that making it costs no more memory than reading it.
std::size_t WriteProgramFile(const std::string& path, std::size_t length) {
  std::vector<std::uint8_t> piece(kMiB);
  std::uint32_t programCrc = 0;
  Crc32Init(programCrc);
  for (std::size_t at = kControlBlockBytes; at < length; at += piece.size()) {
    std::size_t count = std::min(piece.size(), length - at);
    FillPattern(piece.data(), at, count);
    Crc32UpdateBytes(programCrc, piece.data(), static_cast<long>(count));
  }
  ControlBlock block;
  FillPattern(block.data(), 0, kControlBlockBytes);
  block.SetWord(kProgramLengthOffset, static_cast<std::uint32_t>(length));
  block.SetWord(kNewerCrcOffset, programCrc);
  block.SetWord(kLoaderVersionOffset, 0);
  std::uint32_t blockCrc = 0;
  Crc32Init(blockCrc);
  Crc32UpdateBytes(blockCrc, block.data(), kControlBlockCheckedBytes);
  block.SetWord(kControlBlockCrcOffset, blockCrc);

  static const char kDigits[] = "0123456789ABCDEF";
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::string text;
  std::size_t written = 0;
  for (std::size_t at = 0; at < length; at += piece.size()) {
    std::size_t count = std::min(piece.size(), length - at);
    if (at == 0) {
      std::copy(block.bytes.begin(), block.bytes.end(), piece.begin());
      FillPattern(piece.data() + kControlBlockBytes, kControlBlockBytes,
                  count - kControlBlockBytes);
    } else {
      FillPattern(piece.data(), at, count);
    }
    text.clear();
    for (std::size_t i = 0; i < count; ++i) {
      text += kDigits[piece[i] >> 4];
      text += kDigits[piece[i] & 0xF];
      if (i % 32 == 31) text += "\r\n";
    }
    out << text;
    written += text.size();
  }
  return written;
}

// A map file with `length` bytes of data, written a piece at a time.
std::size_t WriteMapFile(const std::string& path, std::size_t length) {
  std::vector<std::uint8_t> bytes(kMapHeaderSize + kControlBlockBytes);
  auto putLittle = [&bytes](std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
      bytes[offset + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
  };
  std::uint32_t total = static_cast<std::uint32_t>(length + kMapFixedBytes);
  putLittle(MapHeader::kExpirationDate, 79365);
  putLittle(MapHeader::kFormatNumber, kMapFormat);
  putLittle(MapHeader::kDataLength, static_cast<std::uint32_t>(length));
  putLittle(MapHeader::kTotalLength, total);
  putLittle(MapHeader::kEffectiveDate, 80001);
  std::uint32_t crc = 0;
  Crc32Init(crc);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  auto emit = [&](const std::uint8_t* data, std::size_t count) {
    Crc32UpdateBytes(crc, data, static_cast<long>(count));
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(count));
  };
  emit(bytes.data(), bytes.size());
  std::vector<std::uint8_t> piece(kMiB);
  for (std::size_t at = 0; at < length; at += piece.size()) {
    std::size_t count = std::min(piece.size(), length - at);
    FillPattern(piece.data(), at, count);
    emit(piece.data(), count);
  }
  std::vector<std::uint8_t> trailer(kMapTrailerSize, 0x5A);
  emit(trailer.data(), trailer.size());
  std::uint8_t stored[4] = {static_cast<std::uint8_t>(crc), static_cast<std::uint8_t>(crc >> 8),
                            static_cast<std::uint8_t>(crc >> 16),
                            static_cast<std::uint8_t>(crc >> 24)};
  out.write(reinterpret_cast<const char*>(stored), 4);
  return length + kMapFixedBytes;
}

// What the readers need: a host (never asked to stop) and the data files.
struct Quiet {
  VirtualHost host;
  DataFiles files;
};

// Runs `read` once more with the peak reset, and reports how far the process
// grew beyond the `image` bytes it built.
template <typename Read>
void ReportPeak(benchmark::State& state, std::size_t image, Read read) {
  // Give back what the timed runs freed but the allocator kept, so that the
  // resident size before the read holds no old image.
  malloc_trim(0);
  if (!ResetPeak()) return;
  std::size_t before = StatusBytes("VmRSS:");
  std::size_t addressSpaceBefore = StatusBytes("VmSize:");
  read();
  double over = static_cast<double>(StatusBytes("VmHWM:")) - static_cast<double>(before) -
                static_cast<double>(image);
  state.counters["peak_over_image_MiB"] = over / static_cast<double>(kMiB);
  // What the read left allocated (the image it keeps): resident or not, a
  // system without overcommit (or Windows) charges all of it.
  double taken =
      static_cast<double>(StatusBytes("VmSize:")) - static_cast<double>(addressSpaceBefore);
  state.counters["allocated_MiB"] = taken / static_cast<double>(kMiB);
}

void BM_Crc32UpdateBytes(benchmark::State& state) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(state.range(0)));
  FillPattern(bytes.data(), 0, bytes.size());
  for (auto _ : state) {
    std::uint32_t crc = 0;
    Crc32Init(crc);
    Crc32UpdateBytes(crc, bytes.data(), static_cast<long>(bytes.size()));
    benchmark::DoNotOptimize(crc);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Crc32UpdateBytes)->Arg(1024)->Arg(1 << 20);

void BM_ReadAndCheckProgramFile(benchmark::State& state) {
  std::size_t length = static_cast<std::size_t>(state.range(0));
  std::string path = TempPath("bench-program.hex");
  std::size_t textSize = WriteProgramFile(path, length);
  Quiet quiet;
  auto readAndCheck = [&] {
    ImageRead read = ReadProgramFile(quiet.host, quiet.files.loadedImage, path.c_str());
    bool passed = !CheckProgramImage(quiet.files.loadedImage, path.c_str());
    if (read.length != static_cast<int>(length) || !passed) {
      state.SkipWithError("program file refused");
    }
  };
  for (auto _ : state) {
    readAndCheck();
    quiet.files.loadedImage.Release();
  }
  ReportPeak(state, length, readAndCheck);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * textSize));
  std::remove(path.c_str());
}
BENCHMARK(BM_ReadAndCheckProgramFile)->Arg(16 << 20)->Unit(benchmark::kMillisecond)->UseRealTime();

// A 650-digit program file (325 bytes) whose header claims 0x7FFFFFFF bytes.
// With the older layout and an empty checked range it passes every check;
// with the newer layout the CRC over the claimed length refuses it.
void WriteClaimingProgramFile(const std::string& path, bool newerLayout) {
  std::vector<std::uint8_t> image(325);
  FillPattern(image.data(), 0, image.size());
  ControlBlock block;
  std::copy(image.begin(), image.begin() + kControlBlockBytes, block.bytes.begin());
  block.SetWord(kProgramLengthOffset, 0x7FFFFFFFu);
  block.SetWord(kOlderEndOffset, 0);
  block.SetWord(kOlderCrcOffset, 0);
  block.SetWord(kOlderCrcFallbackOffset, 0xFFFFFFFFu);
  block.SetWord(kNewerCrcOffset, newerLayout ? 0x12345678u : 0);
  block.SetWord(kLoaderVersionOffset, 0);
  block.SetWord(kControlBlockCrcOffset, 0);
  std::copy(block.bytes.begin(), block.bytes.end(), image.begin());
  static const char kDigits[] = "0123456789ABCDEF";
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (std::uint8_t byte : image) out << kDigits[byte >> 4] << kDigits[byte & 0xF];
}

// Peak memory and time of reading and checking that file: the memory must
// follow the file, not the header's claim.
void BM_ReadProgramFileClaimingMore(benchmark::State& state) {
  bool newerLayout = state.range(0) != 0;
  std::string path = TempPath("bench-claiming.hex");
  WriteClaimingProgramFile(path, newerLayout);
  Quiet quiet;
  auto readAndCheck = [&] {
    ImageRead read = ReadProgramFile(quiet.host, quiet.files.loadedImage, path.c_str());
    bool passed = read.Taken() && !CheckProgramImage(quiet.files.loadedImage, path.c_str());
    if (passed == newerLayout) state.SkipWithError("the checks did not end as the layout says");
  };
  for (auto _ : state) {
    readAndCheck();
    quiet.files.loadedImage.Release();
  }
  ReportPeak(state, 0, readAndCheck);
  std::remove(path.c_str());
}
BENCHMARK(BM_ReadProgramFileClaimingMore)
    ->ArgName("newer_layout")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_ReadMapFile(benchmark::State& state) {
  std::size_t length = static_cast<std::size_t>(state.range(0));
  std::string path = TempPath("bench-map.bin");
  std::size_t fileSize = WriteMapFile(path, length);
  Quiet quiet;
  auto read = [&] {
    if (MapFileReader(quiet.host, quiet.files, path.c_str()).Read().length !=
        static_cast<int>(length)) {
      state.SkipWithError("map file refused");
    }
  };
  for (auto _ : state) {
    read();
    quiet.files.loadedImage.Release();
  }
  ReportPeak(state, length, read);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fileSize));
  std::remove(path.c_str());
}
BENCHMARK(BM_ReadMapFile)->Arg(64 << 20)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace rv4410

BENCHMARK_MAIN();
