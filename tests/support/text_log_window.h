#pragma once
// A log window that keeps its text as a string, lines ended by "\r\n" as the
// log writes them.

#include <string>

#include "activity_log/log_window.h"

namespace rv4410::test {

class TextLogWindow : public LogWindow {
 public:
  int TextLength() const override { return static_cast<int>(text.size()); }
  int LineStart(int line) const override;
  void RemoveLeading(int count) override { text.erase(0, static_cast<std::size_t>(count)); }
  void Append(std::string_view more) override { text.append(more); }
  void SetLogFont(const char* family, int pixelHeight) override {
    fontFamily = family;
    fontHeight = pixelHeight;
  }
  void ClearLogFont() override {
    fontFamily.clear();
    fontHeight = 0;
  }

  std::string text;
  std::string fontFamily;
  int fontHeight = 0;
};

}  // namespace rv4410::test
