#include "datafiles/image_file.h"

#include "platform/format.h"
#include "platform/system_calls.h"

namespace rv4410 {

std::FILE* OpenImageFile(RunState& run, const char* path, const char* mode) {
  bool notRegular = false;
  std::FILE* file = OpenRegularFile(path, mode, notRegular);
  if (notRegular) run.log.LogLine(FormatText(kNotARegularFileLogFormat, path));
  return file;
}

}  // namespace rv4410
