#include "datafiles/image_file.h"

#include "platform/format.h"
#include "platform/system_calls.h"

namespace rv4410 {

ImageFile::ImageFile(const char* path, const char* mode) {
  bool notRegular = false;
  file_ = OpenRegularFile(path, mode, notRegular);
  if (notRegular) notRegularText_ = FormatText(kNotARegularFileLogFormat, path);
}

ImageFile::~ImageFile() {
  if (file_ != nullptr) std::fclose(file_);
}

FileRefusal ImageFile::Refusal() const {
  return QuietRefusal(RefusalReason::kNotOpened, notRegularText_);
}

}  // namespace rv4410
