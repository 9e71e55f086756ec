#pragma once
// The multi-line text control that shows the running log on the transfer page.
// Lines end in "\r\n" in the text the log appends; the control decides how it
// shows them.

#include <string_view>

namespace rv4410 {

class LogWindow {
 public:
  virtual ~LogWindow() = default;

  // Characters in the control (the end position, where new text goes).
  virtual int TextLength() const = 0;
  // Character index of the start of line `line` (from 0), or -1 when there is no such line.
  virtual int LineStart(int line) const = 0;
  // Removes the first `count` characters.
  virtual void RemoveLeading(int count) = 0;
  // Appends at the end and shows the end.
  virtual void Append(std::string_view text) = 0;

  // The log font: `family`, `pixelHeight` high, every other attribute default.
  virtual void SetLogFont(const char* family, int pixelHeight) = 0;
  virtual void ClearLogFont() = 0;
};

}  // namespace rv4410
