#include "protocol/unit_detection.h"

#include <algorithm>
#include <string>

#include "checksum/crc32.h"
#include "protocol/command_lines.h"

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

Outcome Refused(std::string text) {
  Outcome outcome = Outcome::StaysOpen(Ending::kFileRefused);
  outcome.reason = std::move(text);
  return outcome;
}

}  // namespace

Outcome QueryUnit(RunState& run) {
  Host& host = run.host;
  SendLine(run, "%s", kQueryCommand);
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
        if (SerialLineGone(run.link)) return LineGone(run, kOperationTimedOut);
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

  if (run.CancelRequested) return Outcome::StoppedByUser();
  if (decoder.decoded == 0) return Outcome::StaysOpen(Ending::kNoAnswer);
  if (!decoder.Valid()) return Outcome::StaysOpen(Ending::kUnitError);
  run.UnitInfoValid = true;
  return Outcome::Ok();
}

Outcome CheckUnitForFunction(const RunState& run, const MapRequirement& map) {
  if (run.settings.function != kWriteMap) return Outcome::Ok();
  const UnitInfo& info = run.unitInfo;
  if (!run.UnitInfoValid || (info.FeatureFlags() & map.featureMask) == 0) {
    return Refused(kNewProgramFirst);
  }
  std::uint32_t available = info.MapAreaEnd() - info.MapAreaStart();
  if (map.dataLength <= available) return Outcome::Ok();
  return Refused(FormatText(kMapTooLargeFormat, static_cast<int>(map.dataLength),
                            static_cast<int>(available)));
}

}  // namespace rv4410
