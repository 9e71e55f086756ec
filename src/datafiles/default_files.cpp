#include "datafiles/default_files.h"

#include "platform/format.h"

namespace rv4410 {

namespace {

constexpr const char* kAllFilesText = "All Files (*.*)";
constexpr const char* kAllFilesPattern = "*.*";

}  // namespace

const std::vector<FileFilter>& ProgramFileFilters() {
  static const std::vector<FileFilter> filters{{"Data Files (*.hex)", "*.hex"},
                                               {kAllFilesText, kAllFilesPattern}};
  return filters;
}

const std::vector<FileFilter>& ConfigFileFilters() {
  static const std::vector<FileFilter> filters{{"Parameter Files (*.dat)", "*.dat"},
                                               {kAllFilesText, kAllFilesPattern}};
  return filters;
}

const std::vector<FileFilter>& MapFileFilters() {
  static const std::vector<FileFilter> filters{{"Map Files (*.bin)", "*.bin"},
                                               {kAllFilesText, kAllFilesPattern}};
  return filters;
}

std::string SelectNewest(const std::vector<DirectoryEntry>& entries) {
  const DirectoryEntry* best = nullptr;
  for (const DirectoryEntry& entry : entries) {
    // Strictly later only: of equal times the one listed first stays.
    if (best == nullptr || best->creationTimeNs < entry.creationTimeNs) best = &entry;
  }
  return best != nullptr ? best->name : std::string();
}

std::string FindNewestFile(const std::string& pattern, const std::string& directory) {
  return SelectNewest(ListMatchingEntries(directory, pattern));
}

std::string DefaultConfigFileName(std::time_t now) {
  return FormatText(kConfigFileNameFormat, static_cast<long>(now));
}

bool ChooseFile(Host& host, WindowRef owner, const std::vector<FileFilter>& filters,
                std::string& path) {
  path.clear();
  return host.ChooseFile({kChooseFileTitle, filters, owner}, path);
}

}  // namespace rv4410
