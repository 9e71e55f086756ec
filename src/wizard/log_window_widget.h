#pragma once
// The transfer page's running log: a read-only plain-text editor that the
// activity log appends to while the page is shown.

#include <QPlainTextEdit>

#include "activity_log/log_window.h"

namespace rv4410 {

class LogWindowWidget : public QPlainTextEdit, public LogWindow {
 public:
  explicit LogWindowWidget(QWidget* parent = nullptr);

  int TextLength() const override;
  int LineStart(int line) const override;
  void RemoveLeading(int count) override;
  void Append(std::string_view text) override;
  void SetLogFont(const char* family, int pixelHeight) override;
  void ClearLogFont() override;

 private:
  QFont defaultFont_;
};

}  // namespace rv4410
