#pragma once
// What the unit went through, in order: every command line it received, each
// restart, each flash commit, a hang-up. Tests read the entries; rv4410-sim
// writes each one to its journal file as it happens, one line each:
// "<seconds since start, 6 decimals> <event> <detail>".

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace rv4410::sim {

struct JournalEntry {
  std::int64_t atUs = 0;
  std::string event;   // "command", "restart", "ready", "flash-program", ...
  std::string detail;  // the command line (non-printing bytes as \xHH), a size, ...
};

class Journal {
 public:
  void Note(std::int64_t atUs, std::string_view event, std::string_view detail = {});
  const std::vector<JournalEntry>& Entries() const { return entries_; }
  // The details of every entry of `event`, in order.
  std::vector<std::string> Details(std::string_view event) const;
  std::size_t Count(std::string_view event) const;
  // Receives each entry's journal line (without its line end) as it is noted.
  void SetSink(std::function<void(const std::string&)> sink) { sink_ = std::move(sink); }

  static std::string Line(const JournalEntry& entry);
  // `text` with bytes outside printable ASCII (and the backslash) as \xHH.
  static std::string Printable(std::string_view text);

 private:
  // A unit left running for days keeps the latest entries in memory; the
  // sink still sees all of them.
  static constexpr std::size_t kMemoryLimit = 100'000;

  std::vector<JournalEntry> entries_;
  std::function<void(const std::string&)> sink_;
};

}  // namespace rv4410::sim
