// The program file reader and its checks on arbitrary text.

#include "datafiles/program_file.h"
#include "fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static rv4410::fuzz::FuzzFiles fuzz;
  std::FILE* file = rv4410::fuzz::OpenInput(data, size);
  if (file == nullptr) return 0;
  rv4410::LoadedImage& image = fuzz.files.loadedImage;
  rv4410::ImageRead read = rv4410::ReadProgramStream(fuzz.host, image, file);
  std::fclose(file);
  if (read.Taken() != (read.length >= 0)) __builtin_trap();  // a length or a refusal
  if (read.Taken() &&
      (!image.HasBuffer() || image.Size() != static_cast<std::size_t>(read.length))) {
    __builtin_trap();  // the result must be the image's length
  }
  // Memory follows the input, whatever its header claims: at most a byte
  // held for every character read.
  if (read.Taken() && image.Held() > size) __builtin_trap();
  if (image.HasBuffer()) {
    std::optional<rv4410::FileRefusal> refusal = rv4410::CheckProgramImage(image, "fuzz.hex");
    if (refusal && (refusal->text.empty() || refusal->caption == nullptr)) __builtin_trap();
  }
  return 0;
}
