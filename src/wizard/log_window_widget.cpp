#include "wizard/log_window_widget.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

namespace rv4410 {

LogWindowWidget::LogWindowWidget(QWidget* parent) : QPlainTextEdit(parent) {
  setReadOnly(true);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  defaultFont_ = font();
}

int LogWindowWidget::TextLength() const {
  // The document counts a closing paragraph separator that holds no text.
  return document()->characterCount() - 1;
}

int LogWindowWidget::LineStart(int line) const {
  QTextBlock block = document()->findBlockByNumber(line);
  return block.isValid() ? block.position() : -1;
}

void LogWindowWidget::RemoveLeading(int count) {
  QTextCursor cursor(document());
  cursor.setPosition(0);
  cursor.setPosition(std::min(count, TextLength()), QTextCursor::KeepAnchor);
  cursor.removeSelectedText();
}

void LogWindowWidget::Append(std::string_view text) {
  // The log's lines end in CR LF; the editor wants one line break.
  QString line = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
  line.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  line.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  QTextCursor cursor(document());
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(line);
  verticalScrollBar()->setValue(verticalScrollBar()->maximum());
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
