#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/child_processes.h"
#include "platform/stop_request.h"
#include "platform/win32_stop_event.h"
#include "platform/windows_api.h"

namespace rv4410 {

namespace {

constexpr DWORD kReadChunk = 4096;

// One argument as the C runtime of the child splits its command line again:
// quoted when it holds a space, a tab or a quote, backslashes doubled before
// a quote.
std::string QuotedArgument(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + "\"";
}

// What the reader threads hand to the waiting thread.
struct Chunk {
  std::size_t index;
  bool error;
  std::string bytes;
};

class Inbox {
 public:
  Inbox() : event_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}
  ~Inbox() { CloseHandle(event_); }
  HANDLE Event() const { return event_; }
  void Put(Chunk chunk) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      chunks_.push_back(std::move(chunk));
    }
    SetEvent(event_);
  }
  std::vector<Chunk> Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(chunks_, {});
  }

 private:
  HANDLE event_;
  std::mutex mutex_;
  std::vector<Chunk> chunks_;
};

struct Child {
  PROCESS_INFORMATION process{};
  std::thread readers[2];
  bool running = false;
};

// A pipe whose write end the child inherits; the read end stays here.
bool InheritedPipe(HANDLE& read, HANDLE& write) {
  SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, TRUE};
  if (!CreatePipe(&read, &write, &attributes, 0)) return false;
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  return true;
}

void ReadUntilEnd(HANDLE pipe, std::size_t index, bool error, Inbox& inbox) {
  char buffer[kReadChunk];
  DWORD got = 0;
  while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    inbox.Put({index, error, std::string(buffer, got)});
  }
  CloseHandle(pipe);
}

bool StartChild(const std::string& program, const std::vector<std::string>& arguments,
                std::size_t index, Inbox& inbox, Child& child) {
  std::string commandLine = QuotedArgument(program);
  for (const std::string& argument : arguments) commandLine += " " + QuotedArgument(argument);
  HANDLE reads[2] = {};
  HANDLE writes[2] = {};
  for (int i = 0; i < 2; ++i) {
    if (!InheritedPipe(reads[i], writes[i])) return false;
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writes[0];
  startup.hStdError = writes[1];
  // A process group of its own: the stop reaches it as Ctrl-Break, sent by
  // this process, once the stop has come here.
  bool started =
      CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NEW_PROCESS_GROUP,
                     nullptr, nullptr, &startup, &child.process) != 0;
  // Only the child writes now: its end closes the pipes, and the readers end.
  for (HANDLE write : writes) CloseHandle(write);
  if (!started) {
    for (HANDLE read : reads) CloseHandle(read);
    return false;
  }
  CloseHandle(child.process.hThread);
  for (int i = 0; i < 2; ++i) {
    child.readers[i] = std::thread(ReadUntilEnd, reads[i], index, i == 1, std::ref(inbox));
  }
  child.running = true;
  return true;
}

}  // namespace

void RunChildProcesses(const std::string& program,
                       const std::vector<std::vector<std::string>>& argumentLists,
                       const StopRequest& stop, const ChildEvents& events) {
  Inbox inbox;
  std::vector<Child> children(argumentLists.size());
  auto deliver = [&] {
    for (Chunk& chunk : inbox.Take()) events.output(chunk.index, chunk.error, chunk.bytes);
  };
  for (std::size_t index = 0; index < children.size(); ++index) {
    if (!StartChild(program, argumentLists[index], index, inbox, children[index])) {
      events.ended(index, {});
    }
  }
  bool stopped = false;
  for (;;) {
    std::vector<HANDLE> handles{inbox.Event()};
    if (!stopped && Win32StopEvent() != nullptr) handles.push_back(Win32StopEvent());
    std::vector<std::size_t> waitedFor;
    for (std::size_t index = 0; index < children.size(); ++index) {
      if (!children[index].running) continue;
      handles.push_back(children[index].process.hProcess);
      waitedFor.push_back(index);
    }
    if (waitedFor.empty()) break;
    // Sleeps until a child writes or ends, or the stop. One wait takes at most
    // MAXIMUM_WAIT_OBJECTS handles (a failed wait would return at once, for
    // ever): with more units, the ends of the rest are looked for every 100 ms.
    DWORD timeout = INFINITE;
    if (handles.size() > MAXIMUM_WAIT_OBJECTS) {
      handles.resize(MAXIMUM_WAIT_OBJECTS);
      timeout = 100;
    }
    WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, timeout);
    deliver();
    if (!stopped && stop.Arrived()) {
      // A stop is the children's as well: each ends at its next check.
      stopped = true;
      for (const Child& child : children) {
        if (child.running) GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, child.process.dwProcessId);
      }
    }
    for (std::size_t index : waitedFor) {
      Child& child = children[index];
      if (WaitForSingleObject(child.process.hProcess, 0) != WAIT_OBJECT_0) continue;
      // All it wrote comes before its end.
      for (std::thread& reader : child.readers) reader.join();
      deliver();
      DWORD code = 0;
      GetExitCodeProcess(child.process.hProcess, &code);
      CloseHandle(child.process.hProcess);
      child.running = false;
      events.ended(index, {true, true, static_cast<int>(code)});
    }
  }
}

std::string OwnProgramPath() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace rv4410
