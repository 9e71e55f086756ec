#pragma once
// A configuration restore that a program upload owes a unit. Just before the
// flash write starts, a record beside the configuration file says which list
// goes back and to which unit; it is cleared once the unit has answered the
// restore with "OK". A run that ends in between (a crash, a power loss, a
// kill) leaves the record behind, and the next Write Program with the same
// file finds it and writes the saved list back instead of what the unit
// holds then. While a record is there, no read replaces the file it names.
//
// The record is a short text file, "<configuration file>.restore-pending":
//   RV4410 configuration restore pending
//   file=<the configuration file, as it was named>
//   lines=<parameter lines>  length=<bytes>  check=<CRC-32 of its lines, 8 hex digits>
//   serial=<PTEST Sernum of the list, 8 hex digits, or none>
//   identification=<the unit's 260-byte record, 520 hex digits, or none>
//   program=<the program file>       started=<local time of the flash write>
// one "key=value" per line. It is written to a temporary file, flushed to the
// disk and renamed into place, so that it is there whole or not at all.

#include <cstdint>
#include <optional>
#include <string>

#include "protocol/run_state.h"
#include "protocol/unit_info.h"

namespace rv4410 {

inline constexpr const char* kPendingRestoreSuffix = ".restore-pending";

inline constexpr const char* kPendingRestoreKeptFormat =
    "The configuration in\n%s\nis still to be written back to the unit it came from:\n"
    "a program upload stopped after its flash write.\n\n"
    "It is not replaced. Write the program again with this\n"
    "configuration file to finish, or choose another file.";
inline constexpr const char* kPendingRestoreClearedFormat =
    "The record of the configuration restore pending for %s is removed: %s\r\n";
inline constexpr const char* kPendingRestoreNotClearedFormat =
    "The record of the configuration restore pending for %s could not be removed (%s)\r\n";
inline constexpr const char* kClearedByWriteConfiguration =
    "Write Configuration has sent the file to a unit";
inline constexpr const char* kClearedByRestore = "the unit has taken the configuration back";

// What a list of parameter lines tells about the unit it came from.
struct ListFacts {
  int lines = 0;
  std::uint64_t length = 0;  // bytes of the file
  std::uint32_t check = 0;   // CRC-32 of the lines, each followed by one line feed
  bool allErased = false;    // at least one line, and every value field is 0xFFFFFFFF
  // "PTEST Sernum", when the list holds a real one: neither 0 nor erased.
  std::optional<std::uint32_t> serial;

  // The unit keeps nothing of its own in such a list.
  bool HoldsNone() const { return lines == 0 || allErased; }
  bool SameList(const ListFacts& other) const {
    return lines == other.lines && check == other.check;
  }
};

// Reads `path` as a list of parameter lines; false (errno set) when it cannot
// be read to its end.
bool ReadListFacts(const std::string& path, ListFacts& facts);

struct PendingRestore {
  std::string configFile;  // the file that holds the list, as it was named
  ListFacts list;          // its lines as they were recorded (length, check, serial)
  std::optional<UnitInfo> identification;  // when the unit identified itself
  std::string program;
  std::string started;
};

// The record of `configFile` (a symbolic link stands for the file it names).
std::string PendingRestorePath(const std::string& configFile);
bool PendingRestoreExists(const std::string& configFile);

enum class RecordRead {
  kNone,    // no record
  kFound,   // `record` holds it
  kBroken,  // there is one, but it cannot be read or makes no sense; `problem` says why
};
RecordRead ReadPendingRestore(const std::string& configFile, PendingRestore& record,
                              std::string& problem);

// Writes the record of `record.configFile` whole or not at all, on the disk
// before it returns; false (errno set) otherwise.
bool WritePendingRestore(const PendingRestore& record);

// Removes the record of `configFile`, if there is one, and logs why with
// `reason`. False (errno set) when it is there and cannot be removed.
bool ClearPendingRestore(RunState& run, const std::string& configFile, const char* reason);

// The "Error" box and log line that a read into `configFile` keeps the list
// waiting to be written back.
void ReportPendingRestoreKept(RunState& run, const std::string& configFile);

}  // namespace rv4410
