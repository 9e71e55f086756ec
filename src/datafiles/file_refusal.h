#pragma once
// How a program or map file ended up: taken, or refused with its reason and
// what the page that asked for it shows and logs. The readers show nothing
// and log nothing themselves; the setup page's logic tells the user.

#include <optional>
#include <string>
#include <utility>

#include "platform/host.h"

namespace rv4410 {

enum class RefusalReason {
  kNotOpened,      // absent, unreadable, or not a regular file
  kStopped,        // the run was asked to stop while the file was read
  kNoHeader,       // a program file that ends before its image header is complete
  kInvalidHeader,  // a program header whose image length is below 16
  kNoMemory,       // the image's memory is not available
  kReadError,      // a map file that ends or fails inside one of its parts
  kWrongFormat,    // a map format other than the one this loader reads
  kCrcError,       // a program, control-block or map file CRC that does not match
  kLoaderVersion,  // a program made for another loader
  kDatesDeclined,  // the user quit at a warning about the map's validity dates
};

// What the page says of a refusal. An empty `text` says nothing (a file that
// will not open, a run being stopped); a null `caption` puts the text in the
// log only. Otherwise the text is shown in a box under `caption` with `icon`
// (OK only, owned by the page) and then logged, or logged first and then
// shown when `loggedFirst`.
struct FileRefusal {
  RefusalReason reason = RefusalReason::kNotOpened;
  std::string text;
  const char* caption = nullptr;
  BoxIcon icon = BoxIcon::kError;
  bool loggedFirst = false;
  // What was wrong with the file, in plain words, for the log line after
  // the boxes (which keep their own words); empty when there is nothing to add.
  std::string plain;
};

// `refusal` with `plain` words beside it.
inline FileRefusal Explained(FileRefusal refusal, std::string plain) {
  refusal.plain = std::move(plain);
  return refusal;
}

// A refusal that says nothing, or only `logLine` in the log.
inline FileRefusal QuietRefusal(RefusalReason reason, std::string logLine = {}) {
  FileRefusal refusal;
  refusal.reason = reason;
  refusal.text = std::move(logLine);
  return refusal;
}

// A refusal shown in an error box and logged.
inline FileRefusal ShownRefusal(RefusalReason reason, std::string text,
                                const char* caption = kErrorCaption) {
  FileRefusal refusal;
  refusal.reason = reason;
  refusal.text = std::move(text);
  refusal.caption = caption;
  return refusal;
}

// What a reader made of a file: the image's length, the image itself being in
// the slot the reader was given (so that only one image is held at a time),
// or why it refused the file.
struct ImageRead {
  explicit ImageRead(int imageLength) : length(imageLength) {}
  ImageRead(FileRefusal refused) : refusal(std::move(refused)) {}

  bool Taken() const { return !refusal.has_value(); }

  // -1 when refused.
  int length = -1;
  std::optional<FileRefusal> refusal;
  // A line for the log about a file that was taken; empty when there is none.
  std::string note;
};

}  // namespace rv4410
