#include "config/pending_restore.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <system_error>

#include "checksum/crc32.h"
#include "config/parameter_file.h"
#include "config/parameter_line.h"
#include "protocol/boxes.h"
#include "protocol/command_lines.h"

namespace rv4410 {

namespace {

namespace fs = std::filesystem;

constexpr const char* kRecordTitle = "RV4410 configuration restore pending";
constexpr const char* kNone = "none";
// The name of the parameter that holds the unit's serial number, padded.
constexpr std::string_view kSerialNumberName = "PTEST Sernum   ";
constexpr std::uint32_t kErasedValue = 0xFFFFFFFFu;
// A record is a few hundred bytes; anything far larger is no record of ours.
constexpr std::size_t kRecordLimit = 4096;

bool IsErasedValueField(std::string_view line) {
  if (line.size() < kValueFieldLength) return false;
  std::string_view field = line.substr(line.size() - kValueFieldLength);
  if (field.substr(0, 2) != "0x") return false;
  for (char c : field.substr(2)) {
    if (c != 'F' && c != 'f') return false;
  }
  return true;
}

std::string Hex8(std::uint32_t value) {
  char text[12];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

bool ParseHex8(const std::string& text, std::uint32_t& value) {
  if (text.size() != 8) return false;
  std::uint32_t parsed = 0;
  for (char c : text) {
    int digit = HexDigitValue(static_cast<unsigned char>(c));
    if (digit < 0) return false;
    parsed = parsed << 4 | static_cast<std::uint32_t>(digit);
  }
  value = parsed;
  return true;
}

std::string IdentificationText(const std::optional<UnitInfo>& info) {
  if (!info) return kNone;
  std::string text;
  for (std::uint8_t byte : info->bytes) {
    char pair[4];
    std::snprintf(pair, sizeof pair, "%02X", byte);
    text += pair;
  }
  return text;
}

bool ParseIdentification(const std::string& text, std::optional<UnitInfo>& info) {
  if (text == kNone) {
    info.reset();
    return true;
  }
  if (text.size() != 2 * kUnitInfoSize) return false;
  UnitInfo parsed;
  for (std::size_t i = 0; i < kUnitInfoSize; ++i) {
    int high = HexDigitValue(static_cast<unsigned char>(text[2 * i]));
    int low = HexDigitValue(static_cast<unsigned char>(text[2 * i + 1]));
    if (high < 0 || low < 0) return false;
    parsed.bytes[i] = static_cast<std::uint8_t>(high << 4 | low);
  }
  info = parsed;
  return true;
}

// The record's "key=value" lines; false when it is not a record of ours.
bool ReadRecordLines(const std::string& path, std::map<std::string, std::string>& values,
                     std::string& problem) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    problem = std::strerror(errno);
    return false;
  }
  std::string text(kRecordLimit + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  if (text.size() > kRecordLimit) {
    problem = "it is too long";
    return false;
  }
  std::size_t start = 0;
  bool titled = false;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    start = end + 1;
    if (!titled) {
      titled = line == kRecordTitle;
      if (!titled) break;
      continue;
    }
    std::size_t equals = line.find('=');
    if (equals != std::string::npos) values[line.substr(0, equals)] = line.substr(equals + 1);
  }
  if (!titled) problem = "it is not a record of this loader";
  return titled;
}

}  // namespace

bool ReadListFacts(const std::string& path, ListFacts& facts) {
  facts = {};
  ParameterFileReader reader;
  if (!reader.Open(path)) return false;
  std::uint32_t crc = kCrc32Start;
  bool allErased = true;
  std::string line;
  for (FileLine got; (got = reader.ReadLine(line)) != FileLine::kEnd;) {
    if (got == FileLine::kReadError) {
      errno = reader.Error();
      return false;
    }
    ++facts.lines;
    Crc32UpdateBytes(crc, reinterpret_cast<const std::uint8_t*>(line.data()),
                     static_cast<long>(line.size()));
    Crc32Update(crc, '\n');
    allErased = allErased && got == FileLine::kLine && IsErasedValueField(line);
    const ParameterEntry* entry = FindParameter(line);
    if (entry != nullptr && entry->Name() == kSerialNumberName &&
        CheckParameterLine(line).Passed()) {
      auto value = static_cast<std::uint32_t>(ParseParameterValue(line));
      if (value != 0 && value != kErasedValue) {
        facts.serial = value;
      } else {
        facts.serial.reset();
      }
    }
  }
  facts.check = crc;
  facts.allErased = facts.lines > 0 && allErased;
  std::error_code ec;
  facts.length = fs::file_size(path, ec);
  return true;
}

std::string PendingRestorePath(const std::string& configFile) {
  return SiblingName(ConfigurationTarget(configFile), kPendingRestoreSuffix);
}

bool PendingRestoreExists(const std::string& configFile) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(PendingRestorePath(configFile), ec));
}

RecordRead ReadPendingRestore(const std::string& configFile, PendingRestore& record,
                              std::string& problem) {
  record = {};
  problem.clear();
  std::string path = PendingRestorePath(configFile);
  std::error_code ec;
  fs::file_status status = fs::symlink_status(path, ec);
  if (!fs::exists(status)) return RecordRead::kNone;
  if (!fs::is_regular_file(status)) {
    problem = "it is not a regular file";
    return RecordRead::kBroken;
  }
  std::map<std::string, std::string> values;
  if (!ReadRecordLines(path, values, problem)) return RecordRead::kBroken;
  std::uint32_t serial = 0;
  bool serialKnown = values["serial"] == kNone || ParseHex8(values["serial"], serial);
  char* end = nullptr;
  const std::string& length = values["length"];
  record.list.length = std::strtoull(length.c_str(), &end, 10);
  bool lengthKnown = !length.empty() && end != nullptr && *end == '\0';
  const std::string& lines = values["lines"];
  long count = std::strtol(lines.c_str(), &end, 10);
  lengthKnown = lengthKnown && !lines.empty() && *end == '\0' && count >= 0 && count <= INT_MAX;
  record.list.lines = static_cast<int>(count);
  if (!lengthKnown || !ParseHex8(values["check"], record.list.check) || !serialKnown ||
      !ParseIdentification(values["identification"], record.identification)) {
    problem = "a line of it is damaged";
    return RecordRead::kBroken;
  }
  if (values["serial"] != kNone) record.list.serial = serial;
  record.configFile = values["file"].empty() ? configFile : values["file"];
  record.program = values["program"];
  record.started = values["started"];
  return RecordRead::kFound;
}

bool WritePendingRestore(const PendingRestore& record) {
  std::string text = std::string(kRecordTitle) + "\r\n";
  text += "file=" + record.configFile + "\r\n";
  text += "lines=" + std::to_string(record.list.lines) + "\r\n";
  text += "length=" + std::to_string(record.list.length) + "\r\n";
  text += "check=" + Hex8(record.list.check) + "\r\n";
  text += "serial=" + (record.list.serial ? Hex8(*record.list.serial) : kNone) + "\r\n";
  text += "identification=" + IdentificationText(record.identification) + "\r\n";
  text += "program=" + record.program + "\r\n";
  text += "started=" + record.started + "\r\n";
  return ReplaceFileDurably(PendingRestorePath(record.configFile), text);
}

bool ClearPendingRestore(RunState& run, const std::string& configFile, const char* reason) {
  std::string path = PendingRestorePath(configFile);
  if (!PendingRestoreExists(configFile)) return true;
  if (!RemoveDurably(path)) {
    int error = errno;
    run.log.LogPrintf(kPendingRestoreNotClearedFormat, configFile.c_str(), std::strerror(error));
    errno = error;
    return false;
  }
  run.log.LogPrintf(kPendingRestoreClearedFormat, configFile.c_str(), reason);
  return true;
}

void ReportPendingRestoreKept(RunState& run, const std::string& configFile) {
  std::string text = FormatText(kPendingRestoreKeptFormat, configFile.c_str());
  ShowBox(run, {text, kErrorCaption, BoxIcon::kError, BoxButtons::kOk, nullptr}, BoxLine::kBefore);
}

}  // namespace rv4410
