#pragma once
// rv4410-sim started as a separate process on a new pseudo-terminal, for the
// end-to-end and GUI tests. Stopped (SIGTERM, then waited for) on destruction.

#include <sys/types.h>

#include <string>
#include <vector>

namespace rv4410::test {

class SimProcess {
 public:
  // Starts rv4410-sim with `arguments` and reads the terminal path it prints.
  explicit SimProcess(const std::vector<std::string>& arguments = {});
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  bool Started() const { return !path_.empty(); }
  const std::string& Path() const { return path_; }
  // Makes COMn reach this simulator (RV4410_COMn).
  void BindTo(const std::string& portName) const;
  // Ends the simulator now; its end of the line goes away.
  void Stop();

 private:
  pid_t pid_ = -1;
  std::string path_;
};

}  // namespace rv4410::test
