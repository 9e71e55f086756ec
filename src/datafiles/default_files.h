#pragma once
// The file names the setup page proposes each time it opens (the newest
// program and map files in the working directory, a fresh configuration file
// name), and the file-open dialog of its "Find ..." buttons.

#include <ctime>
#include <string>
#include <vector>

#include "platform/host.h"
#include "platform/system_calls.h"

namespace rv4410 {

inline constexpr const char* kProgramFilePattern = "RV4410*.hex";
inline constexpr const char* kMapFilePattern = "*.bin";
inline constexpr const char* kConfigFileNameFormat = "RV4410_Param_%ld.dat";
inline constexpr const char* kChooseFileTitle = "Select a data file";

// The type lists of the three "Find ..." buttons; the first is selected.
const std::vector<FileFilter>& ProgramFileFilters();
const std::vector<FileFilter>& ConfigFileFilters();
const std::vector<FileFilter>& MapFileFilters();

// The entry with the latest creation time; on equal times the one listed
// first. Empty for no entries.
std::string SelectNewest(const std::vector<DirectoryEntry>& entries);

// The name (without folder) of the newest entry of `directory` matching the
// wildcard `pattern`, by creation time; empty when nothing matches.
std::string FindNewestFile(const std::string& pattern, const std::string& directory = ".");

// "RV4410_Param_%ld.dat" with `now` in whole seconds since 1970.
std::string DefaultConfigFileName(std::time_t now);

// The file-open dialog titled "Select a data file" with `filters`. `path` is
// emptied first, so a cancelled dialog leaves it empty; true when a file was chosen.
bool ChooseFile(Host& host, WindowRef owner, const std::vector<FileFilter>& filters,
                std::string& path);

}  // namespace rv4410
