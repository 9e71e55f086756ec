// The map file reader on arbitrary bytes; an odd-sized input cancels at the
// date warnings, an even-sized one goes on.

#include "datafiles/map_file.h"
#include "fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static rv4410::fuzz::FuzzRun fuzz;
  std::FILE* file = rv4410::fuzz::OpenInput(data, size);
  if (file == nullptr) return 0;
  fuzz.warningAnswer = size % 2 == 0 ? rv4410::BoxAnswer::kOk : rv4410::BoxAnswer::kCancel;
  int length = rv4410::ReadMapStream(fuzz.run, fuzz.files, file, "fuzz.bin");
  std::fclose(file);
  const rv4410::LoadedImage& image = fuzz.files.loadedImage;
  if (length >= 0) {
    // Success means the data lay in the file and the control block says so.
    if (static_cast<std::size_t>(length) + rv4410::kMapFixedBytes > size) __builtin_trap();
    if (image.Size() != static_cast<std::size_t>(length)) __builtin_trap();
    if (fuzz.files.mapControlBlock.Word(rv4410::kMapDataLengthOffset) !=
        static_cast<std::uint32_t>(length)) {
      __builtin_trap();
    }
  }
  fuzz.host.ClearShownBoxes();
  return 0;
}
