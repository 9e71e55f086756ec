#pragma once
// A fresh directory for one test, removed with everything in it afterwards.

#include <string>

namespace rv4410::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);
// The log as its lines read: the log is written in text mode, which on
// Windows ends every line with CR LF in the file; reading it in text mode
// gives back what was written.
std::string ReadLogFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& contents);

}  // namespace rv4410::test
