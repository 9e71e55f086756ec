// Writes the seed corpora of the fuzz targets from the tests' file builders:
//   fuzz_seeds <dir>  makes <dir>/program_file, <dir>/map_file, <dir>/frame_decoder.

#include <cstdio>
#include <filesystem>
#include <string>

#include "sim/frame_decoder.h"
#include "support/image_builders.h"
#include "support/temp_dir.h"

namespace {

using rv4410::test::Bytes;

void Put(const std::filesystem::path& dir, const std::string& name, const std::string& bytes) {
  std::filesystem::create_directories(dir);
  rv4410::test::WriteFile((dir / name).string(), bytes);
}

// A frame as the loader sends it, its leading DLE left off (the decoder starts after it).
Bytes Frame(std::uint8_t type, const Bytes& data, std::uint32_t address) {
  Bytes head = {0x10, type, static_cast<std::uint8_t>(data.size() >> 8),
                static_cast<std::uint8_t>(data.size())};
  for (int shift = 24; shift >= 0; shift -= 8)
    head.push_back(static_cast<std::uint8_t>(address >> shift));
  std::uint32_t headerCrc = rv4410::sim::FrameCrc(head.data(), head.size());
  std::uint32_t dataCrc = rv4410::sim::FrameCrc(data.data(), data.size());
  Bytes frame(head.begin() + 1, head.end());
  for (int shift = 24; shift >= 0; shift -= 8)
    frame.push_back(static_cast<std::uint8_t>(headerCrc >> shift));
  for (std::uint8_t byte : data) {
    if (byte == 0x10) frame.push_back(0x10);
    frame.push_back(byte);
  }
  for (int shift = 24; shift >= 0; shift -= 8)
    frame.push_back(static_cast<std::uint8_t>(dataCrc >> shift));
  return frame;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_seeds <corpus-dir>\n");
    return 2;
  }
  namespace test = rv4410::test;
  std::filesystem::path root = argv[1];

  std::filesystem::path program = root / "program_file";
  int n = 0;
  for (auto layout : {test::ChecksumLayout::kNewer, test::ChecksumLayout::kOlder,
                      test::ChecksumLayout::kOlderFallback}) {
    for (std::size_t length : {256u, 300u, 900u}) {
      test::ProgramImagePlan plan;
      plan.layout = layout;
      plan.length = length;
      plan.olderEnd =
          layout == test::ChecksumLayout::kNewer ? 0 : static_cast<std::uint32_t>(length - 10);
      plan.seed = static_cast<std::uint32_t>(++n);
      Put(program, "image" + std::to_string(n), test::HexText(test::BuildProgramImage(plan)));
    }
  }
  Put(program, "letters", "00000000 00000000 0x0000010G 5G G5 zz 7 C\n12");

  std::filesystem::path map = root / "map_file";
  for (std::size_t length : {0u, 1u, 100u}) {
    for (std::size_t further : {0u, 300u}) {
      test::MapFilePlan plan;
      plan.data = test::PatternBytes(length, static_cast<std::uint32_t>(length + further));
      plan.furtherBytes = further;
      plan.effectiveDate = further == 0 ? 26001 : 99001;
      plan.expirationDate = further == 0 ? 79365 : 99365;
      Put(map, "map" + std::to_string(length) + "_" + std::to_string(further),
          test::AsString(test::BuildMapFile(plan)));
    }
  }

  std::filesystem::path frames = root / "frame_decoder";
  Put(frames, "abc", test::AsString(Frame(0x44, {'a', 'b', 'c'}, 0x100)));
  Put(frames, "empty", test::AsString(Frame(0x43, {}, 0)));
  Put(frames, "dles", test::AsString(Frame(0x44, Bytes(40, 0x10), 0x10101010u)));
  Put(frames, "mixed", test::AsString(Frame(0x44, test::PatternBytes(600, 3), 0x1234)));

  std::filesystem::path lines = root / "parameter_line";
  Put(lines, "adf", "ADF-1 Select    0x00000001");
  Put(lines, "lcd", "LCD Xright      0x000001F4");
  Put(lines, "unknown", "Newer Param     0x0000000A");
  Put(lines, "empty", "");
  Put(lines, "tab", "DG Select\t     0x00000009");
  return 0;
}
