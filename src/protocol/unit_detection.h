#pragma once
// Unit detection: the identification query and the check of the unit against
// the selected function.

#include <cstdint>

#include "protocol/outcome.h"
#include "protocol/run_state.h"

namespace rv4410 {

// Asks the unit for its identification record.
inline constexpr const char* kQueryCommand = "QP\r";

inline constexpr const char* kNewProgramFirst = "New Program Must be Loaded First!";
inline constexpr const char* kMapTooLargeFormat =
    "Map size [ %d ] exceeds available memory [ %d ] !";

// The reply must begin within this time after "QP\r".
inline constexpr std::int64_t kQueryStartMs = 150;
// Once begun, a reply ends at a pause this long: a unit that stops in the
// middle of its record must not hold the page.
inline constexpr std::int64_t kQueryPauseMs = 1000;
// And at this age, whatever arrives: room for twice the 520 digits (lines and
// spaces between them) at 1200 baud, the slowest speed a unit is found at.
inline constexpr std::int64_t kQueryLimitMs = 9000;

// What a map asks of the unit: the feature mask (map header offset 16) and
// the map data length L (map header offset 24).
struct MapRequirement {
  std::uint32_t featureMask = 0;
  std::uint32_t dataLength = 0;
};

// Sends "QP\r" and decodes the reply of hexadecimal digits into run.unitInfo.
// Done when at least 256 bytes arrived and the last four decoded bytes are the
// check of the first 256 (UnitInfoValid set). Otherwise UnitInfoValid is
// clear: kNoAnswer when no digit came, kUnitError for a record that failed
// its check, kCancelled on CancelRequested (at once), kLineGone when the
// device went away. Never writes beyond the 260 bytes of the record.
Outcome QueryUnit(RunState& run);

// Done when the selected function may go ahead on this unit. For Write Map
// the unit must have identified itself, share a feature bit with the map and
// hold `map.dataLength` bytes in its map area; otherwise kFileRefused, its
// reason the text the page shows ("New Program Must be Loaded First!" or the
// map size against the memory).
Outcome CheckUnitForFunction(const RunState& run, const MapRequirement& map);

}  // namespace rv4410
