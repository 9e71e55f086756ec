#pragma once
// printf-style formatting into the bounded buffers the loader uses. Text that
// does not fit is cut, as the original platform formatter cut it.

#include <cstdarg>
#include <cstddef>
#include <string>

#if defined(__GNUC__)
#define RV4410_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define RV4410_PRINTF(fmt, args)
#endif

namespace rv4410 {

// The size of every format buffer: at most kFormatBufferSize - 1 characters.
inline constexpr std::size_t kFormatBufferSize = 1024;

std::string FormatText(const char* format, ...) RV4410_PRINTF(1, 2);
std::string FormatTextV(const char* format, std::va_list args) RV4410_PRINTF(1, 0);

}  // namespace rv4410
