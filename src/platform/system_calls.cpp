#include "platform/system_calls.h"

#if defined(_WIN32)
#include <io.h>
#else
#include <sys/mman.h>
#include <sys/types.h>
#endif

namespace rv4410 {

std::tm LocalTime(std::time_t when) {
  std::tm local{};
#if defined(_WIN32)
  localtime_s(&local, &when);
#else
  localtime_r(&when, &local);
#endif
  return local;
}

std::optional<std::uint64_t> RemainingBytes(std::FILE* stream) {
#if defined(_WIN32)
  std::int64_t here = _ftelli64(stream);
  if (here < 0 || _fseeki64(stream, 0, SEEK_END) != 0) return std::nullopt;
  std::int64_t end = _ftelli64(stream);
  if (_fseeki64(stream, here, SEEK_SET) != 0) return std::nullopt;
#else
  off_t here = ftello(stream);
  if (here < 0 || fseeko(stream, 0, SEEK_END) != 0) return std::nullopt;
  off_t end = ftello(stream);
  if (fseeko(stream, here, SEEK_SET) != 0) return std::nullopt;
#endif
  if (end < here) return 0;
  return static_cast<std::uint64_t>(end - here);
}

void AdviseSequentialFill(void* buffer, std::size_t size) {
#if defined(MADV_HUGEPAGE)
  constexpr std::size_t kLargePage = 2u << 20;
  if (size < 2 * kLargePage) return;
  auto address = reinterpret_cast<std::uintptr_t>(buffer);
  std::uintptr_t start = (address + kLargePage - 1) & ~(kLargePage - 1);
  std::uintptr_t end = (address + size) & ~(kLargePage - 1);
  if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
  (void)buffer;
  (void)size;
#endif
}

}  // namespace rv4410
