// The program file reader and its checks on arbitrary text.

#include "datafiles/program_file.h"
#include "fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static rv4410::fuzz::FuzzRun fuzz;
  std::FILE* file = rv4410::fuzz::OpenInput(data, size);
  if (file == nullptr) return 0;
  int length = rv4410::ReadProgramStream(fuzz.run, fuzz.files, file);
  std::fclose(file);
  const rv4410::LoadedImage& image = fuzz.files.loadedImage;
  if (length >= 0 && (!image.HasBuffer() || image.Size() != static_cast<std::size_t>(length))) {
    __builtin_trap();  // the result must be the image's length
  }
  // Memory follows the input, whatever its header claims: at most a byte
  // held for every character read.
  if (length >= 0 && image.Held() > size) __builtin_trap();
  if (image.HasBuffer()) rv4410::CheckProgramImage(fuzz.run, image, "fuzz.hex");
  fuzz.host.ClearShownBoxes();
  return 0;
}
