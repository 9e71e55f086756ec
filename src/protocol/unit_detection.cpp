#include "protocol/unit_detection.h"

#include <algorithm>
#include <string>

#include "checksum/crc32.h"
#include "protocol/command_lines.h"
#include "protocol/page_results.h"
#include "protocol/waiting_page.h"

namespace rv4410 {

namespace {

// Two carriage returns, with only line feeds or silence between them, end the reply.
constexpr int kTerminatingReturns = 2;

int HexDigitValue(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool IsAsciiLetterOrDigit(int c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsWhiteSpace(int c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// The decoding state of one reply.
struct ReplyDecoder {
  std::uint32_t crc = 0;
  std::size_t decoded = 0;
  bool secondDigit = false;
  std::uint8_t current = 0;
  // The last four complete bytes, the latest in the low byte: the check to
  // compare, also when a reply runs past the record.
  std::uint32_t lastFour = 0;
  int returns = 0;

  // Takes one received byte; false when it ends the reply.
  bool Take(int c, UnitInfo& info) {
    if (c == '\r') {
      if (++returns >= kTerminatingReturns) return false;
    } else if (c > 0 && c != '\n') {
      returns = 0;
    }
    int value = HexDigitValue(c);
    if (value >= 0) TakeDigit(value, info);
    return IsWhiteSpace(c) || IsAsciiLetterOrDigit(c);
  }

  void TakeDigit(int value, UnitInfo& info) {
    current = static_cast<std::uint8_t>(current << 4 | value);
    secondDigit = !secondDigit;
    if (secondDigit) return;
    if (decoded < kUnitRecordSize) Crc32Update(crc, current);
    // Bytes beyond the record are only checked, never stored.
    if (decoded < kUnitInfoSize) info.bytes[decoded] = current;
    lastFour = lastFour << 8 | current;
    ++decoded;
  }

  bool Valid() const { return decoded >= kUnitRecordSize && lastFour == crc; }
};

void RefuseUnit(RunState& run, WaitingPage& page, const std::string& text) {
  run.host.ShowMessageBox({text, kErrorCaption, BoxIcon::kError, BoxButtons::kOk, page.Window()});
  run.log.LogLine(text);
  page.EndPage(kPageUnsuitable);
  run.CancelRequested = true;
}

}  // namespace

int QueryUnit(RunState& run) {
  Host& host = run.host;
  SendLine(run, "QP\r");
  run.UnitInfoValid = false;
  std::int64_t start = host.TickCount();
  std::int64_t startDeadline = start + kQueryStartMs;
  std::int64_t limit = start + kQueryLimitMs;
  std::int64_t lastByte = start;
  ReplyDecoder decoder;
  Crc32Init(decoder.crc);

  for (;;) {
    std::int64_t now = host.TickCount();
    bool begun = decoder.decoded >= 2;
    if (!begun && now >= startDeadline) break;
    if (begun && (now >= limit || now - lastByte >= kQueryPauseMs)) break;
    if (run.CancelRequested) break;
    int c = SerialReadByte(run.link);
    if (c < 0) {
      if (!SerialIsOpen(run.link)) {
        // A reply cut off by a vanished port cannot go on.
        if (begun) break;
        // With no port a read fails at once: sleep rather than spin.
        host.WaitForEvent(startDeadline);
      }
      continue;
    }
    lastByte = host.TickCount();
    if (!decoder.Take(c, run.unitInfo)) break;
  }

  if (run.CancelRequested || !decoder.Valid()) return 1;
  run.UnitInfoValid = true;
  return 0;
}

int CheckUnitForFunction(RunState& run, WaitingPage& page, const MapRequirement& map) {
  if (run.settings.function != kWriteMap) return 0;
  const UnitInfo& info = run.unitInfo;
  if (!run.UnitInfoValid || (info.FeatureFlags() & map.featureMask) == 0) {
    RefuseUnit(run, page, kNewProgramFirst);
    return 1;
  }
  std::uint32_t available = info.MapAreaEnd() - info.MapAreaStart();
  if (map.dataLength <= available) return 0;
  RefuseUnit(run, page,
             FormatText(kMapTooLargeFormat, static_cast<int>(map.dataLength),
                        static_cast<int>(available)));
  return 1;
}

}  // namespace rv4410
