#include "activity_log/activity_log.h"

#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/system_calls.h"

namespace rv4410 {

ActivityLog::ActivityLog(Host& host, std::string path) : host_(host), path_(std::move(path)) {}

ActivityLog::~ActivityLog() {
  if (stream_ != nullptr) std::fclose(stream_);
}

void ActivityLog::ReportIoError(std::string text) {
  host_.ShowMessageBox(
      {std::move(text), kIoErrorCaption, BoxIcon::kWarning, BoxButtons::kOk, nullptr});
}

void ActivityLog::LogOpen() {
  if (stream_ != nullptr) return;
  stream_ = std::fopen(path_.c_str(), "a+");
  if (stream_ == nullptr) ReportIoError(FormatText(kOpenErrorFormat, std::strerror(errno)));
}

int ActivityLog::LogLine(std::string_view text) {
  if (stream_ == nullptr) return 0;
  std::fwrite(text.data(), 1, text.size(), stream_);
  std::fputc('\n', stream_);
  int flushed = std::fflush(stream_);
  // The stream buffers, so a failed write shows at the latest when flushed.
  if (std::ferror(stream_)) {
    int error = errno;
    std::clearerr(stream_);
    ReportIoError(FormatText(kWriteErrorFormat, std::strerror(error)));
  }
  return flushed;
}

void ActivityLog::LogClose() {
  if (stream_ == nullptr) return;
  int result = std::fclose(stream_);
  stream_ = nullptr;
  if (result != 0) ReportIoError(FormatText(kCloseErrorFormat, std::strerror(errno)));
}

void ActivityLog::AppendToWindow(std::string_view text) {
  if (window_ == nullptr) return;
  if (window_->TextLength() > kLogWindowLimit) {
    int cut = window_->LineStart(kLogTrimLines);
    // Fewer lines than that in so much text: all of it goes.
    window_->RemoveLeading(cut < 0 ? window_->TextLength() : cut);
  }
  window_->Append(text);
}

int ActivityLog::Print(const std::string& text) {
  AppendToWindow(text);
  return LogLine(text);
}

int ActivityLog::LogPrintf(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::string text = FormatTextV(format, args);
  va_end(args);
  return Print(text);
}

int ActivityLog::LogStep(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  step_ = FormatTextV(format, args);
  va_end(args);
  return Print(step_);
}

std::string ActivityLog::CurrentStep() const {
  std::string step;
  for (char c : step_) {
    bool lineEnd = c == '\r' || c == '\n';
    // Line ends inside become one space; those around it go.
    if (lineEnd && !step.empty() && step.back() != ' ') step += ' ';
    if (!lineEnd) step += c;
  }
  while (!step.empty() && step.back() == ' ') step.pop_back();
  return step;
}

int ActivityLog::LogShown(std::string_view text) {
  if (window_ != nullptr) {
    // The file's newline is LogLine's; the window needs a line end of its own.
    bool ended = !text.empty() && text.back() == '\n';
    AppendToWindow(ended ? std::string(text) : std::string(text) + "\r\n");
  }
  return LogLine(text);
}

void ActivityLog::LogWindowAttach(LogWindow* window) {
  window_ = window;
  if (window_ != nullptr) window_->SetLogFont(kLogFontFamily, kLogFontHeight);
}

void ActivityLog::LogWindowDetach() {
  if (window_ != nullptr) window_->ClearLogFont();
  window_ = nullptr;
}

void ActivityLog::LogBanner() {
  static const std::string kRule(73, '=');
  LogLine("\r\n\r\n");
  LogLine(kRule);
  LogLine(kRule);
  std::time_t now = host_.WallClock();
  std::tm local = LocalTime(now);
  // asctime's layout with its English names, whatever the desktop's language.
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::string stamp = FormatText("%.3s %.3s%3d %.2d:%.2d:%.2d %d\n", kDays[local.tm_wday % 7],
                                 kMonths[local.tm_mon % 12], local.tm_mday, local.tm_hour,
                                 local.tm_min, local.tm_sec, 1900 + local.tm_year);
  LogLine(std::string("The current date and time are: ") + stamp);
}

}  // namespace rv4410
