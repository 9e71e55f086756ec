#include "support/text_log_window.h"

namespace rv4410::test {

int TextLogWindow::LineStart(int line) const {
  std::size_t position = 0;
  for (int i = 0; i < line; ++i) {
    position = text.find('\n', position);
    if (position == std::string::npos) return -1;
    ++position;
  }
  return static_cast<int>(position);
}

}  // namespace rv4410::test
