#include "wizard/qt/log_window_widget.h"

#include <QScrollBar>
#include <QTextCursor>
#include <algorithm>

namespace rv4410 {

namespace {

// Long enough to show a burst of lines in one repaint, short enough to look
// immediate.
constexpr int kShowIntervalMs = 100;

}  // namespace

LogWindowWidget::LogWindowWidget(QWidget* parent) : QPlainTextEdit(parent) {
  setReadOnly(true);
  // Long lines wrap at the window's edge, as the page's text control does:
  // the log scrolls only downwards.
  setLineWrapMode(QPlainTextEdit::WidgetWidth);
  setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  defaultFont_ = font();
  showTimer_.setSingleShot(true);
  connect(&showTimer_, &QTimer::timeout, this, [this] { ShowPending(); });
}

void LogWindowWidget::ShowPending() {
  showTimer_.stop();
  if (pending_.isEmpty()) return;
  QTextCursor cursor(document());
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(pending_);
  pending_.clear();
  verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void LogWindowWidget::paintEvent(QPaintEvent* event) {
  ShowPending();
  QPlainTextEdit::paintEvent(event);
}

QString LogWindowWidget::Shown() {
  ShowPending();
  return toPlainText();
}

int LogWindowWidget::TextLength() const {
  return static_cast<int>(text_.size());
}

namespace {

// Where the line break at `at` (a CR or an LF) ends: CR LF is one break.
std::size_t BreakEnd(const std::string& text, std::size_t at) {
  bool crLf = text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n';
  return at + (crLf ? 2 : 1);
}

}  // namespace

int LogWindowWidget::LineStart(int line) const {
  // Lines end where the editor breaks them: at CR LF, a lone CR or a lone LF.
  if (line < 0) return -1;
  std::size_t start = 0;
  for (int i = 0; i < line; ++i) {
    std::size_t lineBreak = text_.find_first_of("\r\n", start);
    if (lineBreak == std::string::npos) return -1;
    start = BreakEnd(text_, lineBreak);
  }
  return static_cast<int>(start);
}

int LogWindowWidget::EditorLength(std::size_t count) const {
  std::size_t pairs = 0;
  for (std::size_t i = 0; i + 1 < count; ++i) {
    if (text_[i] == '\r' && text_[i + 1] == '\n') ++pairs;
  }
  return static_cast<int>(count - pairs);
}

void LogWindowWidget::RemoveLeading(int count) {
  if (count <= 0) return;
  std::size_t cut = std::min(static_cast<std::size_t>(count), text_.size());
  // A CR LF goes whole: the editor shows it as one line break.
  if (cut > 0 && cut < text_.size() && text_[cut - 1] == '\r' && text_[cut] == '\n') ++cut;
  ShowPending();
  int editorCut = EditorLength(cut);
  text_.erase(0, cut);
  QTextCursor cursor(document());
  cursor.setPosition(0);
  cursor.setPosition(std::min(editorCut, document()->characterCount() - 1),
                     QTextCursor::KeepAnchor);
  cursor.removeSelectedText();
}

void LogWindowWidget::Append(std::string_view text) {
  if (text.empty()) return;
  // The log's lines end in CR LF; the editor wants one line break. An LF that
  // completes a CR appended before is already shown by it.
  bool completesCr = !text_.empty() && text_.back() == '\r' && text.front() == '\n';
  text_.append(text);
  if (completesCr) text.remove_prefix(1);
  QString line = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
  line.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  line.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  pending_ += line;
  if (!showTimer_.isActive()) showTimer_.start(kShowIntervalMs);
}

void LogWindowWidget::SetLogFont(const char* family, int pixelHeight) {
  QFont logFont(QString::fromLatin1(family));
  logFont.setPixelSize(pixelHeight);
  setFont(logFont);
}

void LogWindowWidget::ClearLogFont() {
  setFont(defaultFont_);
}

}  // namespace rv4410
