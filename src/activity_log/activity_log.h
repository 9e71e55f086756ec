#pragma once
// The activity log: the append-only file Loader.LOG in the working directory,
// and the log window of the transfer page while one is attached. The file is
// flushed after every line so that nothing is lost if the program dies.

#include <cstdio>
#include <string>
#include <string_view>

#include "activity_log/log_window.h"
#include "platform/format.h"
#include "platform/host.h"

namespace rv4410 {

inline constexpr const char* kLogFileName = "Loader.LOG";
// When the window holds more than this many characters, its first
// kLogTrimLines lines go before new text is appended.
inline constexpr int kLogWindowLimit = 20000;
inline constexpr int kLogTrimLines = 50;
inline constexpr const char* kLogFontFamily = "Courier New";
inline constexpr int kLogFontHeight = 16;

inline constexpr const char* kIoErrorCaption = "IO Error ...";
inline constexpr const char* kOpenErrorFormat = "Open error: %s\n";
inline constexpr const char* kWriteErrorFormat = "Write error: %s\n";
inline constexpr const char* kCloseErrorFormat = "Close error: %s\n";

class ActivityLog {
 public:
  explicit ActivityLog(Host& host, std::string path = kLogFileName);
  ~ActivityLog();
  ActivityLog(const ActivityLog&) = delete;
  ActivityLog& operator=(const ActivityLog&) = delete;

  // Opens the file for appending, creating it if absent. On failure shows
  // "Open error: %s\n" once; the run goes on without a log file.
  void LogOpen();
  // Writes `text` and a newline to the file and flushes. Returns the flush
  // result (0 on success); 0 at once, writing nothing, without a log file.
  int LogLine(std::string_view text);
  // Closes the file; does nothing when none is open.
  void LogClose();
  // Formats into the 1024-byte buffer, appends the text to the log window (if
  // one is attached) and passes it to LogLine. Returns LogLine's result.
  int LogPrintf(const char* format, ...) RV4410_PRINTF(2, 3);
  // A line the user has seen elsewhere (a box, its answer): written to the
  // file as LogLine writes it, and to the log window, if one is attached, as
  // a line of its own. Returns LogLine's result.
  int LogShown(std::string_view text);
  // Makes `window` the log window and gives it the log font.
  void LogWindowAttach(LogWindow* window);
  // Takes the font back and forgets the window.
  void LogWindowDetach();
  // The start-of-run banner: two empty lines, two rows of 73 equals signs,
  // and the local date and time.
  void LogBanner();

  // LogPrintf for the line that begins a step of an operation ("Sending
  // Program Data, ..."): the step is remembered until the next one.
  int LogStep(const char* format, ...) RV4410_PRINTF(2, 3);
  // The text of the last step begun, on one line; empty before the first.
  std::string CurrentStep() const;

  bool IsOpen() const { return stream_ != nullptr; }
  const std::string& Path() const { return path_; }

 private:
  void AppendToWindow(std::string_view text);
  int Print(const std::string& text);
  void ReportIoError(std::string text);

  Host& host_;
  std::string path_;
  std::FILE* stream_ = nullptr;
  LogWindow* window_ = nullptr;
  std::string step_;
};

}  // namespace rv4410
