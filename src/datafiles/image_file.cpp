#include "datafiles/image_file.h"

#include <cerrno>
#include <cstring>

#include "platform/format.h"
#include "platform/system_calls.h"

namespace rv4410 {

ImageFile::ImageFile(const char* path, const char* mode) {
  bool notRegular = false;
  file_ = OpenRegularFile(path, mode, notRegular);
  if (file_ == nullptr) openError_ = errno;
  if (notRegular) notRegularText_ = FormatText(kNotARegularFileLogFormat, path);
}

ImageFile::~ImageFile() {
  if (file_ != nullptr) std::fclose(file_);
}

FileRefusal ImageFile::Refusal() const {
  FileRefusal refusal = QuietRefusal(RefusalReason::kNotOpened, notRegularText_);
  // Its own log line says it already.
  if (notRegularText_.empty()) {
    refusal.plain = FormatText(kNotOpenedPlainFormat, std::strerror(openError_));
  }
  return refusal;
}

}  // namespace rv4410
