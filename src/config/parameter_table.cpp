#include "config/parameter_table.h"

namespace rv4410 {

namespace {

// Pads `text` with spaces to 15 characters and ends it with a zero byte; a
// 16-character name fills the field and has no terminator.
template <std::size_t N>
constexpr ParameterEntry Entry(const char (&text)[N], std::int32_t minimum = 0,
                               std::int32_t maximum = 0) {
  static_assert(N - 1 <= kParameterNameField, "a parameter name has at most 16 characters");
  ParameterEntry entry{{}, minimum, maximum};
  for (std::size_t i = 0; i < kParameterNameField; ++i) {
    if (i < N - 1) {
      entry.name[i] = text[i];
    } else {
      entry.name[i] = i < kPaddedNameLength ? ' ' : '\0';
    }
  }
  return entry;
}

}  // namespace

// The order is the unit's own and decides lookups: the first match wins.
constexpr ParameterTableType kTable = {{
    Entry("ADF-1 Select"),           // 0
    Entry("ADF-2 Select"),           // 1
    Entry("CNAV-1 Trim"),            // 2
    Entry("CNAV-2 Trim"),            // 3
    Entry("Compass Cal N"),          // 4
    Entry("Compass Cal S"),          // 5
    Entry("Compass Cal E"),          // 6
    Entry("Compass Cal W"),          // 7
    Entry("DG Select", 0, 5),        // 8
    Entry("LED Lo Bright"),          // 9
    Entry("LED Hi Bright"),          // 10
    Entry("Lamp Cal"),               // 11
    Entry("Lamp Vcal-14"),           // 12
    Entry("Lamp Ical-14"),           // 13
    Entry("Lamp Ical-28"),           // 14
    Entry("Lamp Ma Init"),           // 15
    Entry("Lamp Ma Peak"),           // 16
    Entry("Lamp Minutes"),           // 17
    Entry("Lamp Prof"),              // 18
    Entry("Lamp Type"),              // 19
    Entry("Lamp Fail Thrsh"),        // 20
    Entry("Lamp Fail Mins"),         // 21
    Entry("Lamp Test Time"),         // 22
    Entry("Lamp MaInitLast"),        // 23
    Entry("Lamp MaPeakLast"),        // 24
    Entry("Lamp Mins  Last"),        // 25 (two spaces)
    Entry("Lamp MinHB Last"),        // 26
    Entry("Lamp Prof  Last"),        // 27 (two spaces)
    Entry("Dme Analog Gain"),        // 28
    Entry("Dme Analog Ofst"),        // 29
    Entry("Dme-1 Select", 0, 4),     // 30
    Entry("Dme-1 Hold Inv", 0, 4),   // 31
    Entry("Dme-2 Select", 0, 4),     // 32
    Entry("Dme-2 Hold Mode"),        // 33
    Entry("Dme-2 Hold Inv", 0, 4),   // 34
    Entry("FCS Select", 0, 11),      // 35
    Entry("FCS Protocol", 0, 1),     // 36
    Entry("FCS Hdg Grad"),           // 37
    Entry("FCS Crs Grad"),           // 38
    Entry("FCS Min"),                // 39
    Entry("FCS Max"),                // 40
    Entry("FCS Ofst"),               // 41
    Entry("FCS Datum Rev"),          // 42
    Entry("FCS CDatum Rev"),         // 43
    Entry("FCS Bootstrap"),          // 44
    Entry("Fluxgate Select", 0, 3),  // 45
    Entry("Fluxgate Phase"),         // 46
    Entry("Fluxgate Quad", 0, 3),    // 47
    Entry("DG Slaved"),              // 48
    Entry("DG Valid Src"),           // 49
    Entry("HSI Xptr"),               // 50
    Entry("LCD Hpos", 0, 15),        // 51
    Entry("LCD Vpos", 175, 255),     // 52
    Entry("LCD Xcent", 215, 255),    // 53
    Entry("LCD Xright", 430, 479),   // 54
    Entry("LCD Ycent", 300, 330),    // 55
    Entry("LCD Ybot", 520, 580),     // 56
    Entry("LCD Shp", 0, 7),          // 57
    Entry("LCD Pll", 0, 255),        // 58
    Entry("LCD Tc1", 0, 255),        // 59
    Entry("LRN Arm Req"),            // 60
    Entry("LRN Fcn Req"),            // 61
    Entry("LRN Select", 0, 48),      // 62
    Entry("LRN-1 Ann Type"),         // 63
    Entry("LRN-1 Dev Src", 0, 2),    // 64
    Entry("LRN-1 Crs Src", 0, 2),    // 65
    Entry("LRN-2 Select", 0, 48),    // 66
    Entry("LRN-2 Ann Type"),         // 67
    Entry("LRN-2 Dev Src", 0, 2),    // 68
    Entry("LRN-2 Crs Src", 0, 2),    // 69
    Entry("MAP Select", 0, 5),       // 70
    Entry("MAP Range", 0, 18),       // 71
    Entry("MKR Select", 0, 12),      // 72
    Entry("MKR Valid Type"),         // 73
    Entry("MKR Thresh", 0, 4),       // 74
    Entry("NAV-1 Avail"),            // 75
    Entry("NAV-2 Avail"),            // 76
    Entry("NAV-1 Arinc Sel"),        // 77
    Entry("NAV-2 Arinc Sel"),        // 78
    Entry("NAV Autoslew"),           // 79
    Entry("NAV Color Sel"),          // 80
    Entry("NAV-1 ILS Mode"),         // 81
    Entry("NAV-2 ILS Mode"),         // 82
    Entry("NAV Lockout Dis"),        // 83
    Entry("LRN-1 OBS Trim"),         // 84
    Entry("LRN-2 OBS Trim"),         // 85
    Entry("NAV-1 OBS Trim"),         // 86
    Entry("NAV-2 OBS Trim"),         // 87
    Entry("LRN-1 OBS Rev"),          // 88
    Entry("LRN-2 OBS Rev"),          // 89
    Entry("NAV-1 OBS Rev"),          // 90
    Entry("NAV-2 OBS Rev"),          // 91
    Entry("RLY MASTER MODE"),        // 92
    Entry("NAV Src", 0, 3),          // 93
    Entry("NAV Src Req", 0, 3),      // 94
    Entry("NAV Sense CdiSr"),        // 95
    Entry("NAV Sense Nav2"),         // 96
    Entry("NAV Sense Gps1"),         // 97
    Entry("NAV Sense Gps2"),         // 98
    Entry("NAV Sense N2G2"),         // 99
    Entry("PTEST Data"),             // 100
    Entry("PTEST Sernum"),           // 101
    Entry("RMI CNAV-1 Ena"),         // 102
    Entry("RMI CNAV-2 Ena"),         // 103
    Entry("RMI Mode", 0, 3),         // 104
    Entry("RMI-1 Select", 0, 7),     // 105
    Entry("RMI-2 Select", 0, 7),     // 106
    Entry("A-VUE", 0, 28),           // 107
    Entry("A-MAP", 0, 5),            // 108
    Entry("A-RANGE", 0, 18),         // 109
    Entry("A-RMI", 0, 3),            // 110
    Entry("B-VUE", 0, 28),           // 111
    Entry("B-MAP", 0, 5),            // 112
    Entry("B-RANGE", 0, 18),         // 113
    Entry("B-RMI", 0, 3),            // 114
    Entry("AB Select", 0, 1),        // 115
    Entry("INV Ena", 0, 1),          // 116
    Entry("HDG"),                    // 117
    Entry("CRS"),                    // 118
    Entry("Demo Mode"),              // 119
    Entry("VUE", 0, 28),             // 120
    Entry("WX Mode"),                // 121
    Entry("WX Select"),              // 122
    Entry("Map1 Cat Select "),       // 123 (16 characters, the last a space)
    Entry("Map1 Item Select"),       // 124
    Entry("Map2 Cat Select "),       // 125
    Entry("Map2 Item Select"),       // 126
    Entry("Map3 Cat Select "),       // 127
    Entry("Map3 Item Select"),       // 128
    Entry("Map4 Cat Select "),       // 129
    Entry("Map4 Item Select"),       // 130
    Entry("Map5 Cat Select "),       // 131
    Entry("Map5 Item Select"),       // 132
    Entry("Map Src Select"),         // 133
    Entry("Map Setup Page", 0, 8),   // 134
    Entry("Course PTR INH"),         // 135
    Entry("Swap Counter"),           // 136
    Entry("Swap Reason"),            // 137
}};

constexpr bool EveryNameFillsItsKey() {
  for (const ParameterEntry& entry : kTable) {
    std::string_view name = entry.Name();
    if (name.size() != kPaddedNameLength && name.size() != kParameterNameField) return false;
  }
  return true;
}
static_assert(EveryNameFillsItsKey());
static_assert(kTable[123].Name().size() == 16 && kTable[132].Name().size() == 16);
static_assert(kTable[122].Name().size() == 15 && kTable[133].Name().size() == 15);

const ParameterTableType ParameterTable = kTable;

const ParameterEntry* FindParameter(std::string_view line) {
  for (const ParameterEntry& entry : ParameterTable) {
    if (line.starts_with(entry.Name())) return &entry;
  }
  return nullptr;
}

}  // namespace rv4410
