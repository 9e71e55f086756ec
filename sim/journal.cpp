#include "sim/journal.h"

#include <cstdio>

namespace rv4410::sim {

void Journal::Note(std::int64_t atUs, std::string_view event, std::string_view detail) {
  if (entries_.size() >= kMemoryLimit)
    entries_.erase(entries_.begin(), entries_.begin() + kMemoryLimit / 2);
  entries_.push_back({atUs, std::string(event), std::string(detail)});
  if (sink_) sink_(Line(entries_.back()));
}

std::vector<std::string> Journal::Details(std::string_view event) const {
  std::vector<std::string> details;
  for (const JournalEntry& entry : entries_) {
    if (entry.event == event) details.push_back(entry.detail);
  }
  return details;
}

std::size_t Journal::Count(std::string_view event) const {
  std::size_t count = 0;
  for (const JournalEntry& entry : entries_) count += entry.event == event ? 1 : 0;
  return count;
}

std::string Journal::Line(const JournalEntry& entry) {
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%lld.%06lld", static_cast<long long>(entry.atUs / 1'000'000),
                static_cast<long long>(entry.atUs % 1'000'000));
  std::string line = std::string(stamp) + " " + entry.event;
  if (!entry.detail.empty()) line += " " + entry.detail;
  return line;
}

std::string Journal::Printable(std::string_view text) {
  std::string out;
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
      out.push_back(c);
      continue;
    }
    char escaped[5];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
    out += escaped;
  }
  return out;
}

}  // namespace rv4410::sim
