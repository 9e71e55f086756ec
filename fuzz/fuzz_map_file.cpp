// The map file reader on arbitrary bytes; an odd-sized input quits after the
// header, as a Cancel at a date warning does, an even-sized one goes on.

#include "datafiles/map_file.h"
#include "fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static rv4410::fuzz::FuzzFiles fuzz;
  std::FILE* file = rv4410::fuzz::OpenInput(data, size);
  if (file == nullptr) return 0;
  rv4410::MapFileReader reader(fuzz.host, fuzz.files, file, "fuzz.bin");
  std::optional<rv4410::FileRefusal> refusal = reader.ReadHeader();
  if (refusal || size % 2 != 0) {
    std::fclose(file);
    return 0;
  }
  // The date boxes are made for any header.
  if (rv4410::MapDatesFor(fuzz.files.mapHeader, 0).range.text.empty()) __builtin_trap();
  rv4410::ImageRead read = reader.ReadRest();
  std::fclose(file);
  const rv4410::LoadedImage& image = fuzz.files.loadedImage;
  if (read.Taken()) {
    // Success means the data lay in the file and the control block says so.
    if (static_cast<std::size_t>(read.length) + rv4410::kMapFixedBytes > size) __builtin_trap();
    if (image.Size() != static_cast<std::size_t>(read.length)) __builtin_trap();
    if (fuzz.files.mapControlBlock.Word(rv4410::kMapDataLengthOffset) !=
        static_cast<std::uint32_t>(read.length)) {
      __builtin_trap();
    }
  } else if (read.refusal->reason != rv4410::RefusalReason::kNoMemory &&
             read.refusal->reason != rv4410::RefusalReason::kReadError &&
             read.refusal->reason != rv4410::RefusalReason::kCrcError) {
    __builtin_trap();  // nothing else can refuse the rest of a file
  }
  return 0;
}
