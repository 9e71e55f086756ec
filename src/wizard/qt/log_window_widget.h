#pragma once
// The transfer page's running log: a read-only plain-text editor that the
// activity log appends to while the page is shown. Lengths and positions count
// the text as it was appended, a CR LF line end as two characters, as the log
// window of the original counts them, so that the trimming above 20000
// characters happens at the same point. Lines are the log's own, whatever
// their wrapping on screen, so that the trimming does not depend on the
// window's width. The text changes only through the LogWindow calls.

#include <QPlainTextEdit>
#include <QTimer>
#include <string>

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

  // Puts the text appended since the last showing into the editor now.
  void ShowPending();
  // The editor's text, with everything appended shown.
  QString Shown();

 protected:
  // A repaint for any other reason (a grab, an uncovered window) shows what is pending.
  void paintEvent(QPaintEvent* event) override;

 private:
  // The number of editor characters that the first `count` appended ones show
  // as (a CR LF line end is one line break in the editor).
  int EditorLength(std::size_t count) const;

  QFont defaultFont_;
  // The text as appended, less what was removed.
  std::string text_;
  // Appended but not yet in the editor: lines come one at a time, and each
  // repaint of the editor costs more than the line; they are shown together
  // at most every kShowIntervalMs.
  QString pending_;
  QTimer showTimer_;
};

}  // namespace rv4410
