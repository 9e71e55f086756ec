#pragma once
// The configuration text file: one parameter line per text line. Lines are
// written with CR LF on every platform, so that a file made here reads the
// same everywhere; lines ending in LF alone or in CR LF are read back alike.
// Lines are read one at a time into a bounded buffer, whatever the file holds.
//
// A configuration file is a unit's calibration: it is never emptied or
// overwritten in place. A new content goes to a temporary file of its own
// beside it and takes its place in one step, once complete, under a lock
// that other runs writing the same name respect; the earlier content is
// kept beside it under a numbered name.

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/system_calls.h"

namespace rv4410 {

// The longest line the loader takes from a file, without its line end.
inline constexpr std::size_t kParameterLineLimit = 254;

// The temporary files beside the configuration file while new contents are
// written: the configuration file's name, this, and a part of their own.
inline constexpr const char* kTemporaryInfix = ".partial-";
// Where a platform cannot lock the configuration file itself without keeping it
// from being replaced, the lock is taken on a file of this name beside it.
inline constexpr const char* kLockSuffix = ".lock";
// What every temporary file beside a configuration file begins with, the
// fixed name of earlier versions included.
inline constexpr const char* kTemporaryMark = ".partial";

enum class FileLine {
  kLine,       // a line, without its line end
  kTooLong,    // a line of more than 254 characters: its first 254, the rest skipped
  kEnd,        // no more lines
  kReadError,  // the system failed to read the file: its end is unknown (Error() says why)
};

class ParameterFileReader {
 public:
  ParameterFileReader() = default;
  ~ParameterFileReader();
  ParameterFileReader(const ParameterFileReader&) = delete;
  ParameterFileReader& operator=(const ParameterFileReader&) = delete;

  // Opens `path` for reading; false (errno set) when it cannot be opened.
  bool Open(const std::string& path);
  // The next line into `line`. Only a real line end is removed: LF, or CR LF
  // counted as one; a last line without a newline keeps all its characters,
  // and a CR elsewhere is an ordinary character. After kReadError every
  // further call gives kReadError again.
  FileLine ReadLine(std::string& line);
  // Back to the first line of the same open file, for a second pass; false
  // (errno set) when the file cannot be read again from its start.
  bool Rewind();
  // The system's error number of the last kReadError, or of a failed Rewind.
  int Error() const { return error_; }
  void Close();

 private:
  std::FILE* file_ = nullptr;
  int error_ = 0;
};

// How a new content took the place of the configuration file.
struct FileReplacement {
  bool done = false;     // the new content is in place
  int error = 0;         // the system's error number when it is not
  bool busy = false;     // another run kept the file locked for as long as we waited
  bool refused = false;  // the caller's rule refused the replace (CommitRules::mayReplace)
  std::string keptAs;    // where the earlier content now is; empty when there was none
};

// A temporary file found beside the configuration file as a new content starts.
struct LeftoverFile {
  std::string path;
  // Removed: no run held it, so a run that ended early left it. Otherwise
  // another run is writing it now, and it stays.
  bool removed = false;
};

// How a replace deals with other runs that write the same file.
struct CommitRules {
  // Called while another run holds the file, before the next try: sleeps a
  // little and returns true, or false to give up. Unset: give up at once.
  std::function<bool()> waitTurn;
  // Asked with the file locked, just before it is replaced, with the file's
  // path: false refuses the replace. Unset: always allowed.
  std::function<bool(const std::string& target)> mayReplace;
};

// The exclusive advisory lock on a configuration file: every replace holds it,
// so that two runs never keep the same earlier content or lose each other's.
class ConfigurationFileLock {
 public:
  // Locks the file at `target` as it is now; kGone when there is none (the
  // lock may then still be held: the caller may take the free name under it).
  // Waits through `waitTurn` while another run holds it.
  LockTry Acquire(const std::string& target, const std::function<bool()>& waitTurn);
  void Release() { lock_.Release(); }

 private:
  FileLock lock_;
};

class ParameterFileWriter {
 public:
  ParameterFileWriter() = default;
  // Discards a content that was never committed.
  ~ParameterFileWriter();
  ParameterFileWriter(const ParameterFileWriter&) = delete;
  ParameterFileWriter& operator=(const ParameterFileWriter&) = delete;

  // Starts a new content for `path` in a temporary file of its own beside it,
  // created for this writer alone and locked while it is written; `path`
  // itself is not touched. Temporary files that crashed runs left beside it
  // are removed (Leftovers() says which). A `path` that is a symbolic link
  // stands for the file it names. False (errno set) when `path` exists and is
  // no regular file (EISDIR for a folder, EINVAL otherwise) or when the
  // temporary file cannot be created.
  bool Create(const std::string& path);
  // What Create found beside the file.
  const std::vector<LeftoverFile>& Leftovers() const { return leftovers_; }
  // Writes `line` and CR LF and flushes, so that a failing write shows at
  // once. False when the line did not reach the file.
  bool WriteLine(std::string_view line);
  // Lines written since Create, and whether any write failed.
  int Lines() const { return lines_; }
  bool WriteFailed() const { return writeFailed_; }
  // The temporary file, to read the new content back before it is committed;
  // empty when there is none.
  const std::string& TemporaryPath() const { return temporary_; }
  // The file the new content is for (a symbolic link followed).
  const std::string& Target() const { return target_; }
  // Puts the new content in place: flushed to the disk, then, with the file
  // locked against other runs, the earlier content (unless the file was
  // missing or empty) kept as "<path>.1", or the first of ".2", ".3" ...
  // that does not exist yet, and the new one renamed over `path` in one step.
  // On failure `path` is as it was and the temporary file is gone.
  FileReplacement Commit(const CommitRules& rules = {});
  // Keeps the new content beside the file under the first free numbered
  // name instead, leaving `path` as it is. On failure the temporary file is gone.
  FileReplacement CommitAsCopy();
  // Drops the new content: the temporary file is removed, `path` stays as it was.
  void Discard();

 private:
  bool FlushAndCheck(FileReplacement& replacement);

  std::FILE* file_ = nullptr;
  std::string target_;
  std::string temporary_;
  std::vector<LeftoverFile> leftovers_;
  int lines_ = 0;
  bool writeFailed_ = false;
};

// The file a configuration path stands for: a symbolic link is followed, so
// that a new content goes where the old one is, not over the link.
std::string ConfigurationTarget(const std::string& path);

// The name of a file kept beside `path`: its name followed by `suffix`, with
// room left for `reserve` characters that the caller appends. A name that
// would then be longer than the folder takes keeps only its beginning (never
// cut inside a UTF-8 character), followed by "~" and the whole name's CRC in
// eight hexadecimal digits, so that two long names that begin alike keep
// apart. Only the kept file's name is shortened, never `path` itself.
std::string SiblingName(const std::string& path, std::string_view suffix, std::size_t reserve = 0);

// Puts `text` at `path` whole, on the disk, in one step: written to a
// temporary file of its own beside it and renamed over whatever was there.
// False (errno set) when `path` is as it was.
bool ReplaceFileDurably(const std::string& path, std::string_view text);

// The two C calls under every configuration file read and write. A test puts
// failing ones in their place to show a full disk or a read failing part way,
// faults that no file can be made to show here. Process-wide; the defaults
// are getc and fwrite.
struct ParameterFileIo {
  // One byte, or EOF with `failed` set when it was a read error.
  int (*readByte)(std::FILE* file, bool& failed);
  std::size_t (*writeBytes)(const void* bytes, std::size_t count, std::FILE* file);
};
ParameterFileIo& ParameterFileIoForTesting();

}  // namespace rv4410
