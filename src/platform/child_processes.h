#pragma once
// Several programs at once, each one's standard output and standard error
// read as it comes: the command line runs one process per unit this way.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace rv4410 {

class StopRequest;

// How a child ended.
struct ChildEnd {
  bool started = false;  // false: the program could not be started
  bool exited = false;   // it returned an exit code (not killed, not crashed)
  int code = 0;          // that code
};

struct ChildEvents {
  // Bytes the child `index` wrote, to its standard error when `error`.
  std::function<void(std::size_t index, bool error, std::string_view bytes)> output;
  // The child `index` has ended; all its output has come before.
  std::function<void(std::size_t index, const ChildEnd& end)> ended;
};

// Runs `program` once for each list of arguments, all at once, and returns
// when every one has ended. Sleeps until output, an end or the stop: once
// `stop` has arrived, the children still running are asked to end (SIGTERM;
// on Windows they share the console and hear its Ctrl-C themselves).
void RunChildProcesses(const std::string& program,
                       const std::vector<std::vector<std::string>>& argumentLists,
                       const StopRequest& stop, const ChildEvents& events);

// The path of the program running now, to start it again.
std::string OwnProgramPath();

}  // namespace rv4410
